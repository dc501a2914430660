// Run manifests on disk: JSON through QJsonDocument, and the platform calls
// that keep a manifest in its slot folder.
#include "platform/run_manifest_json.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>
#include <cmath>

#include "platform/file_names.h"
#include "platform/qt_platform.h"

namespace codekiln {

namespace {

const char* const kKind = "codekiln run manifest";
const char* const kJournalKind = "codekiln run journal";
// Version 2 holds XXH3-128 fingerprints (each named by its key), a file's
// "place" and the bytes of names that are not UTF-8; version 1 (SHA-256,
// names as text) is still read. Older programs refuse a version 2 manifest
// rather than misread it.
constexpr int kVersion = 2;
constexpr int kOldestVersion = 1;
constexpr double kLargestExactSize = 9007199254740992.0;  // 2^53: sizes beyond lose digits in JSON

QString qs(const std::string& s) { return QString::fromStdString(s); }

std::string fromQ(const QString& s) { return s.toStdString(); }

// A name that is not UTF-8 goes into JSON twice: as text, with U+FFFD where
// its bytes are not UTF-8, for a person to read, and beside it, under the
// key with "Bytes" after it, as lower-case hex, which is what is read back.
struct Writer {
    void text(QJsonObject& o, const char* key, const std::string& value) {
        o.insert(QLatin1String(key), qs(value));
        if (isUtf8Name(value)) return;
        const QByteArray bytes(value.data(), static_cast<qsizetype>(value.size()));
        o.insert(QLatin1String(key) + QLatin1String("Bytes"), QString::fromLatin1(bytes.toHex()));
    }
};

std::string manifestPath(const std::string& slotFolder) { return slotFolder + "/" + kRunManifestName; }

std::string journalPath(const std::string& slotFolder) { return slotFolder + "/" + kRunJournalName; }

const char* endName(FileEnd end) {
    switch (end) {
        case FileEnd::Formatted:
            return "formatted";
        case FileEnd::Unchanged:
            return "unchanged";
        case FileEnd::Failed:
            return "failed";
    }
    return "failed";
}

QString timeText(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODateWithMs);
}

// The key naming the hash, and the length of its hex digest.
struct HashName {
    HashKind kind;
    const char* key;
    std::size_t hexDigits;
};
constexpr HashName kHashNames[] = {{HashKind::Xxh3_128, "xxh3-128", 32}, {HashKind::Sha256, "sha256", 64}};

const HashName& hashName(HashKind kind) {
    for (const HashName& name : kHashNames) {
        if (name.kind == kind) return name;
    }
    return kHashNames[0];
}

QJsonObject fingerprintJson(const Fingerprint& f) {
    return QJsonObject{{"size", static_cast<double>(f.size)},
                       {QLatin1String(hashName(f.hash).key), qs(f.digest)}};
}

// Reading: each helper sets `problem` to the first thing wrong and leaves
// it when it is already set, so the first fault is the one reported.
struct Reader {
    std::string problem;

    bool fail(const std::string& what) {
        if (problem.empty()) problem = what;
        return false;
    }
    std::string text(const QJsonObject& o, const char* key, bool required = true) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() && !required) return {};
        if (!v.isString()) fail(std::string("\"") + key + "\" is not a text");
        return fromQ(v.toString());
    }
    // A name: its bytes when the manifest holds them, else its text.
    std::string name(const QJsonObject& o, const char* key, bool required = true) {
        const std::string shown = text(o, key, required);
        const QJsonValue v = o.value(QLatin1String(key) + QLatin1String("Bytes"));
        if (v.isUndefined()) return shown;
        const QByteArray hex = v.toString().toLatin1();
        const bool valid = v.isString() && hex.size() % 2 == 0 &&
                           hex.toStdString().find_first_not_of("0123456789abcdef") == std::string::npos;
        if (!valid) fail(std::string("\"") + key + "Bytes\" is not lower-case hex");
        std::string bytes = QByteArray::fromHex(hex).toStdString();
        // No name holds a NUL: the file system would read it as the name's end.
        if (bytes.find('\0') != std::string::npos) fail(std::string("\"") + key + "Bytes\" holds a NUL");
        return bytes;
    }
    bool flag(const QJsonObject& o, const char* key) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isBool()) fail(std::string("\"") + key + "\" is not true or false");
        return v.toBool();
    }
    std::int64_t count(const QJsonObject& o, const char* key, double largest) {
        const QJsonValue v = o.value(QLatin1String(key));
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d < 0 || d > largest || std::floor(d) != d) {
            fail(std::string("\"") + key + "\" is not a whole number in range");
            return 0;
        }
        return static_cast<std::int64_t>(d);
    }
    std::int64_t time(const QJsonObject& o, const char* key) {
        const QDateTime t = QDateTime::fromString(qs(text(o, key)), Qt::ISODateWithMs);
        if (!t.isValid()) fail(std::string("\"") + key + "\" is not a time");
        return t.toMSecsSinceEpoch();
    }
    Fingerprint fingerprint(const QJsonObject& o, const char* key, bool required) {
        Fingerprint f;
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() && !required) return f;
        if (!v.isObject()) {
            fail(std::string("\"") + key + "\" is missing");
            return f;
        }
        const QJsonObject fields = v.toObject();
        f.size = count(fields, "size", kLargestExactSize);
        // Exactly one hash of a kind known, in lower-case hex of its length.
        const HashName* found = nullptr;
        int hashes = 0;
        for (const HashName& name : kHashNames) {
            if (!fields.contains(QLatin1String(name.key))) continue;
            found = &name;
            ++hashes;
        }
        if (hashes != 1) {
            fail(std::string("\"") + key + "\" has " + (hashes == 0 ? "no hash" : "more than one hash"));
            return f;
        }
        f.hash = found->kind;
        f.digest = text(fields, found->key);
        const bool hex = f.digest.size() == found->hexDigits &&
                         f.digest.find_first_not_of("0123456789abcdef") == std::string::npos;
        if (!hex) fail(std::string("\"") + key + "\" has no " + found->key + " in hex");
        return f;
    }
    ManifestFile file(const QJsonValue& v) {
        ManifestFile f;
        if (!v.isObject()) {
            fail("a file entry is not an object");
            return f;
        }
        const QJsonObject o = v.toObject();
        f.path = name(o, "path");
        f.place = name(o, "place", false);
        const std::string end = text(o, "outcome");
        if (end == "formatted") {
            f.end = FileEnd::Formatted;
        } else if (end == "unchanged") {
            f.end = FileEnd::Unchanged;
        } else if (end == "failed") {
            f.end = FileEnd::Failed;
        } else {
            fail("\"outcome\" is not formatted, unchanged or failed");
        }
        f.reason = text(o, "reason", false);
        // What a restore compares with must be there for every file the
        // run changed. A second name of a file formatted already (a link)
        // is recorded as unchanged without them, and has nothing to undo.
        const bool wrote = f.end == FileEnd::Formatted;
        f.original = fingerprint(o, "original", wrote);
        f.written = fingerprint(o, "written", wrote);
        return f;
    }
};

QJsonObject fileJson(const ManifestFile& f) {
    Writer w;
    QJsonObject entry{{"outcome", QLatin1String(endName(f.end))}};
    w.text(entry, "path", f.path);
    if (!f.place.empty()) w.text(entry, "place", f.place);
    if (!f.reason.empty()) entry.insert("reason", qs(f.reason));
    if (f.original.known()) entry.insert("original", fingerprintJson(f.original));
    if (f.written.known()) entry.insert("written", fingerprintJson(f.written));
    return entry;
}

std::string jsonLine(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() + "\n"; }

/// Removes the file or link at `path`; success when nothing is there.
Status removeRecord(QtPlatform& platform, const std::string& path) {
    if (platform.pathKind(path) == PathKind::Missing) return Status::success();
    QFile file(qs(path));
    if (!file.remove()) return Status::failure(Why::CannotRemove, path, {}, fromQ(file.errorString()));
    return Status::success();
}

/// Writes one of the slot's records whole. A link planted under its name
/// goes first: the atomic write would otherwise replace whatever it points to.
Status writeRecord(QtPlatform& platform, const std::string& path, const std::string& text) {
    if (platform.pathKind(path) == PathKind::SymLink) {
        const Status removed = removeRecord(platform, path);
        if (!removed) return removed;
    }
    return writeFileAtomically(path, text);
}

}  // namespace

std::string manifestToJson(const RunManifest& m) {
    Writer w;
    QJsonArray files;
    for (const ManifestFile& f : m.files) files.append(fileJson(f));
    // The layout and its width, so that a listing can say how a run wrote;
    // the classic layout always indents by 4, whatever width was asked for.
    const bool modern = m.options.style == LayoutStyle::Modern;
    const QJsonObject options{{"removeBlankLines", m.options.removeBlankLines},
                              {"indentElse", m.options.indentElse},
                              {"showSeparators", m.options.showSeparators},
                              {"style", QLatin1String(modern ? "modern" : "classic")},
                              {"indent", modern ? m.options.indentWidth : 4}};
    QJsonObject root{{"kind", QLatin1String(kKind)},     {"slot", m.slot},
                     {"started", timeText(m.startedMs)}, {"options", options},
                     {"files", files}};
    // A run writes its manifest once as it begins, without an end: an older
    // program, which needs one, refuses such a manifest rather than take it
    // for a whole run that formatted nothing.
    if (m.endedMs != 0) root.insert("ended", timeText(m.endedMs));
    if (m.journaled) root.insert("journal", true);
    w.text(root, "folder", m.folder);
    w.text(root, "extension", m.extension);
    root.insert("version", kVersion);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

Status manifestFromJson(const std::string& json, const std::string& path, RunManifest& m) {
    QJsonParseError error;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        return Status::failure(Why::NotAManifest, path, fromQ(error.errorString())).at(error.offset);
    }
    Reader r;
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value("kind").toString() != QLatin1String(kKind)) {
        r.fail("not a run manifest");
    } else if (const int version = root.value("version").toInt();
               version < kOldestVersion || version > kVersion) {
        r.fail("a manifest version this program does not know");
    }
    m = RunManifest{};
    m.slot = static_cast<int>(r.count(root, "slot", 5));
    m.startedMs = r.time(root, "started");
    m.endedMs = root.contains(QLatin1String("ended")) ? r.time(root, "ended") : 0;
    m.folder = r.name(root, "folder");
    m.extension = r.name(root, "extension");
    const QJsonObject options = root.value("options").toObject();
    m.options.removeBlankLines = r.flag(options, "removeBlankLines");
    m.options.indentElse = r.flag(options, "indentElse");
    m.options.showSeparators = r.flag(options, "showSeparators");
    // Manifests written before the modern layout name no style: classic.
    if (options.contains(QLatin1String("style"))) {
        const std::string style = r.text(options, "style");
        if (!parseLayoutStyle(style, m.options.style)) r.fail("\"style\" is not classic or modern");
    }
    if (options.contains(QLatin1String("indent"))) {
        const std::int64_t width = r.count(options, "indent", kMaxIndentWidth);
        if (width < kMinIndentWidth) r.fail("\"indent\" is not a whole number in range");
        m.options.indentWidth = static_cast<int>(width);
    }
    m.journaled = root.contains(QLatin1String("journal")) && r.flag(root, "journal");
    if (!root.value("files").isArray()) r.fail("\"files\" is not a list");
    for (const QJsonValue& v : root.value("files").toArray()) m.files.push_back(r.file(v));
    if (!r.problem.empty()) return Status::failure(Why::DamagedManifest, path, r.problem);
    return Status::success();
}

std::string journalToText(std::int64_t startedMs, const std::vector<ManifestFile>& files, bool start) {
    std::string text;
    if (start) {
        text = jsonLine(QJsonObject{{"kind", QLatin1String(kJournalKind)}, {"started", timeText(startedMs)},
                                    {"version", 1}});
    }
    for (const ManifestFile& f : files) text += jsonLine(fileJson(f));
    return text;
}

Status journalFromText(const std::string& text, std::int64_t startedMs, const std::string& path,
                       std::vector<ManifestFile>& files, bool& found) {
    files.clear();
    found = false;
    Reader r;
    std::size_t at = 0;
    for (std::size_t line = 0;; ++line) {
        const std::size_t end = text.find('\n', at);
        // What follows the last line end was cut short by a kill: no file
        // of it was replaced.
        if (end == std::string::npos) break;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(
            QByteArray(text.data() + at, static_cast<qsizetype>(end - at)), &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            return Status::failure(Why::DamagedManifest, path, "line " + std::to_string(line + 1) + " is not JSON");
        }
        if (line == 0) {
            const QJsonObject header = doc.object();
            if (header.value("kind").toString() != QLatin1String(kJournalKind) ||
                header.value("version").toInt() != 1) {
                return Status::failure(Why::DamagedManifest, path, "not a run journal");
            }
            const std::int64_t started = r.time(header, "started");
            if (!r.problem.empty()) return Status::failure(Why::DamagedManifest, path, r.problem);
            if (started != startedMs) return Status::success();  // another run's
            found = true;
        } else {
            files.push_back(r.file(doc.object()));
            if (!r.problem.empty()) return Status::failure(Why::DamagedManifest, path, r.problem);
        }
        at = end + 1;
    }
    return Status::success();
}

Status QtPlatform::appendRunJournal(const std::string& slotFolder, std::int64_t startedMs,
                                    const std::vector<ManifestFile>& files, bool start) {
    const std::string path = journalPath(slotFolder);
    const std::string text = journalToText(startedMs, files, start);
    return start ? writeRecord(*this, path, text) : appendDurably(path, text);
}

Status QtPlatform::readRunJournal(const std::string& slotFolder, std::int64_t startedMs,
                                  std::vector<ManifestFile>& files, bool& found) {
    const std::string path = journalPath(slotFolder);
    files.clear();
    found = false;
    const PathKind kind = pathKind(path);
    if (kind == PathKind::Missing) return Status::success();
    if (kind != PathKind::File) return Status::failure(Why::NotPlainFile, path);
    std::string bytes;
    const Status read = readFileBytes(path, bytes);
    if (!read) return read;
    return journalFromText(bytes, startedMs, path, files, found);
}

Status QtPlatform::removeRunManifest(const std::string& slotFolder) {
    return removeRecord(*this, manifestPath(slotFolder));
}

Status QtPlatform::writeRunManifest(const std::string& slotFolder, const RunManifest& manifest) {
    const Status written = writeRecord(*this, manifestPath(slotFolder), manifestToJson(manifest));
    if (written && manifest.finished()) (void)removeRecord(*this, journalPath(slotFolder));
    return written;
}

Status QtPlatform::readRunManifest(const std::string& slotFolder, RunManifest& manifest, bool& found) {
    const std::string path = manifestPath(slotFolder);
    const PathKind kind = pathKind(path);
    found = kind != PathKind::Missing;
    if (!found) return Status::success();
    if (kind != PathKind::File) return Status::failure(Why::NotPlainFile, path);
    std::string bytes;
    const Status read = readFileBytes(path, bytes);
    if (!read) return read;
    return manifestFromJson(bytes, path, manifest);
}

}  // namespace codekiln
