// The platform operations on QtCore. Every failure comes back as a Status
// whose message names the path and the reason; nothing here shows a message
// or ends the program.
#include "platform/qt_platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/file_names.h"
#include "platform/posix_files.h"
#include "platform/text_codec.h"

namespace codekiln {

namespace {

const char* const kApplication = "codekiln";

QString qs(const std::string& s) { return QString::fromStdString(s); }

std::string fromQ(const QString& s) { return s.toStdString(); }

Status fail(const std::string& path, Why what, const QString& reason) {
    return Status::failure(what, escapedName(path), {}, fromQ(reason));
}

// The file a write must replace: a symbolic link's target, else the path.
QString writeTarget(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty()) return target;
    }
    return path;
}

Status commitBytes(QSaveFile& out, const std::string& path, const char* data, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const qint64 n = out.write(data + done, size - done);
        if (n <= 0) {
            out.cancelWriting();
            return fail(path, Why::CannotWrite, out.errorString());
        }
        done += n;
    }
    // A failed final flush (a full disk) must not pass for a complete file:
    // commit() alone does not report it.
    if (!out.flush()) {
        const QString reason = out.errorString();
        out.cancelWriting();
        return fail(path, Why::CannotWrite, reason);
    }
    if (!out.commit()) return fail(path, Why::CannotWrite, out.errorString());
    return Status::success();
}

}  // namespace

struct QtPlatform::Settings {
    std::unique_ptr<QSettings> store;
};

QtPlatform::QtPlatform(QtPlatformOptions options) : options_(std::move(options)) {}

QtPlatform::~QtPlatform() = default;

bool listingOrderLess(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char ca = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] + 32) : a[i];
        const char cb = (b[i] >= 'A' && b[i] <= 'Z') ? static_cast<char>(b[i] + 32) : b[i];
        if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;  // same letters apart from case: upper case first, by bytes
}

Status QtPlatform::listFiles(const std::string& folder, const std::string& extension,
                             std::vector<std::string>& names) {
    names.clear();
#ifndef _WIN32
    // Qt cannot reach a folder whose name is not UTF-8 at all: such a
    // folder is listed from its bytes alone.
    const bool bytesOnly = !isUtf8Name(folder);
#else
    const bool bytesOnly = false;
#endif
    QStringList entries;
    if (!bytesOnly) {
        const QFileInfo info(qs(folder));
        if (!info.exists()) return fail(folder, Why::FolderNotFound, {});
        if (!info.isDir()) return fail(folder, Why::NotAFolder, {});
        if (!info.isReadable()) return fail(folder, Why::FolderUnreadable, {});
        QDir dir(qs(folder));
        // One filter, never split at ";" or blanks; without QDir::CaseSensitive
        // the wildcard matching ignores case. Files only: no folders, no hidden
        // files, no sockets, pipes or devices.
        dir.setNameFilters(QStringList{QStringLiteral("*") + qs(extension)});
        dir.setFilter(QDir::Files | QDir::NoDotAndDotDot);
        dir.setSorting(QDir::Unsorted);
        entries = dir.entryList();
    }
#ifndef _WIN32
    else {
        const std::string resolved = posixCanonicalPath(folder);
        if (resolved.empty()) return fail(folder, Why::FolderNotFound, {});
        if (posixPathKind(resolved) != PathKind::Folder) return fail(folder, Why::NotAFolder, {});
    }
#endif
    names.reserve(static_cast<std::size_t>(entries.size()));
#ifdef _WIN32
    for (const QString& entry : entries) names.push_back(fromQ(entry));
#else
    // A name that is not UTF-8 comes out of QDir changed (its bad bytes
    // become U+FFFD), and the changed name could be another file's. Only
    // names that stand in the folder byte for byte are kept, and the
    // undecodable names that match are added as the file system has them.
    std::vector<std::string> raw;
    const Status read = posixFolderNames(folder, raw);
    if (!read) return read;
    std::sort(raw.begin(), raw.end());
    for (const QString& entry : entries) {
        std::string name = fromQ(entry);
        if (std::binary_search(raw.begin(), raw.end(), name)) names.push_back(std::move(name));
    }
    const QRegularExpression pattern(
        QRegularExpression::wildcardToRegularExpression(QStringLiteral("*") + qs(extension)),
        QRegularExpression::CaseInsensitiveOption);
    for (const std::string& name : raw) {
        if (name.empty() || name[0] == '.' || (!bytesOnly && isUtf8Name(name))) continue;
        FileIdentity identity;
        if (!posixStatFile(folder + "/" + name, identity)) continue;
        if (pattern.match(QFile::decodeName(QByteArray::fromStdString(name))).hasMatch())
            names.push_back(name);
    }
#endif
    std::sort(names.begin(), names.end(), listingOrderLess);
    return Status::success();
}

Status QtPlatform::listFolders(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
#ifdef _WIN32
    const QFileInfo info(qs(folder));
    if (!info.isDir()) return fail(folder, Why::NotAFolder, {});
    QDir dir(qs(folder));
    dir.setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    dir.setSorting(QDir::Unsorted);
    for (const QString& entry : dir.entryList()) names.push_back(fromQ(entry));
#else
    std::vector<std::string> raw;
    const Status read = posixFolderNames(folder, raw);
    if (!read) return read;
    for (std::string& name : raw) {
        if (name[0] != '.' && posixPathKind(folder + "/" + name) == PathKind::Folder)
            names.push_back(std::move(name));
    }
#endif
    std::sort(names.begin(), names.end(), listingOrderLess);
    return Status::success();
}

#ifndef _WIN32
// On the bytes of the name, which Qt would change where they are not UTF-8.
bool QtPlatform::folderExists(const std::string& path) {
    const std::string resolved = posixCanonicalPath(path);
    return !resolved.empty() && posixPathKind(resolved) == PathKind::Folder;
}

bool QtPlatform::fileExists(const std::string& path) {
    FileIdentity identity;
    return static_cast<bool>(posixStatFile(path, identity));
}

Status QtPlatform::createFolder(const std::string& path) { return posixCreateFolder(path); }
#else
bool QtPlatform::folderExists(const std::string& path) { return QFileInfo(qs(path)).isDir(); }

bool QtPlatform::fileExists(const std::string& path) { return QFileInfo(qs(path)).isFile(); }

Status QtPlatform::createFolder(const std::string& path) {
    if (QDir().mkdir(qs(path))) return Status::success();
    return fail(path, Why::CannotCreateFolder, {});
}
#endif

Status readFileBytes(const std::string& path, std::string& bytes) {
#ifndef _WIN32
    FileIdentity identity;
    return posixReadFileOnce(path, bytes, identity);
#else
    QFile in(qs(path));
    if (!in.open(QIODevice::ReadOnly)) return fail(path, Why::CannotRead, in.errorString());
    bytes.clear();
    const qint64 expected = in.size();
    if (expected > 0) bytes.reserve(static_cast<std::size_t>(expected));
    // Through a small buffer, so that the text is not zero-filled before it is read.
    std::vector<char> chunk(65536);
    for (;;) {
        const qint64 n = in.read(chunk.data(), static_cast<qint64>(chunk.size()));
        if (n < 0) return fail(path, Why::CannotRead, in.errorString());
        if (n == 0) break;
        bytes.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return Status::success();
#endif
}

Status writeFileAtomically(const std::string& path, const std::string& bytes) {
    const QString target = writeTarget(qs(path));
    const QFileInfo info(target);
    // The owner's write permission is the file's read-only mark; honour it
    // even for a user who could write anyway.
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner)) {
        return Status::failure(Why::ReadOnly, escapedName(path));
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) return fail(path, Why::CannotWrite, out.errorString());
    return commitBytes(out, path, bytes.data(), static_cast<qint64>(bytes.size()));
}

Status QtPlatform::readFile(const std::string& path, std::string& bytes) { return readFileBytes(path, bytes); }

Status QtPlatform::decodeText(std::string bytes, const std::string& path, TextFile& file) {
    return codekiln::decodeText(std::move(bytes), options_.encoding, path, file);
}

Status QtPlatform::encodeText(const std::string& text, TextEncoding encoding, bool bom, const std::string& path,
                              std::string& bytes) {
    return codekiln::encodeText(text, encoding, bom, path, bytes);
}

Status QtPlatform::writeFile(const std::string& path, const std::string& bytes) {
    return writeFileAtomically(path, bytes);
}

#ifndef _WIN32

Status QtPlatform::statFile(const std::string& path, FileIdentity& identity) {
    return posixStatFile(path, identity);
}

Status QtPlatform::readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) {
    return posixReadFileOnce(path, bytes, identity);
}

Status QtPlatform::writeBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) {
    return posixWriteBackup(to, bytes, of);
}

Status QtPlatform::replaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    return posixReplaceFile(path, bytes, read);
}

Status QtPlatform::restoreFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    return posixRestoreFile(path, bytes, read);
}

void QtPlatform::writeBackups(std::vector<BatchBackup>& backups) { posixWriteBackups(backups); }

Status QtPlatform::syncFolders(const std::vector<std::string>& folders) { return posixSyncFolders(folders); }

void QtPlatform::replaceFiles(std::vector<BatchReplacement>& replacements) { posixReplaceFiles(replacements); }

Status QtPlatform::createFile(const std::string& path, const std::string& bytes, const FileIdentity& of) {
    return posixCreateFile(path, bytes, of);
}

std::string QtPlatform::canonicalPath(const std::string& path) { return posixCanonicalPath(path); }

void QtPlatform::removeStaleTemporaries(const std::string& folder) { posixRemoveStaleTemporaries(folder); }

#else  // Windows: Qt's operations, with the identity Qt can see (size and time).

Status QtPlatform::statFile(const std::string& path, FileIdentity& identity) {
    const QFileInfo info(qs(path));
    if (!info.exists()) return fail(path, Why::CannotRead, QStringLiteral("no such file"));
    if (!info.isFile()) return fail(path, Why::CannotRead, QStringLiteral("not a regular file"));
    identity = FileIdentity{};
    identity.size = info.size();
    identity.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    return Status::success();
}

Status QtPlatform::readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) {
    const Status seen = statFile(path, identity);
    if (!seen) return seen;
    return readFile(path, bytes);
}

// The backup takes the bytes read; Windows has no permission bits to give it.
Status QtPlatform::writeBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) {
    (void)of;
    return writeFile(to, bytes);
}

// Only while nothing has taken the name; the check and the write are two
// steps here.
Status QtPlatform::createFile(const std::string& path, const std::string& bytes, const FileIdentity& of) {
    (void)of;
    if (pathKind(path) != PathKind::Missing) return Status::failure(Why::MadeDuringRestore, path);
    return writeFile(path, bytes);
}

// A file deleted, replaced or written to since it was read is left as the
// other program left it; a rewrite never brings a deleted file back.
Status QtPlatform::replaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    FileIdentity now;
    if (!statFile(path, now) || !now.unchangedAs(read))
        return Status::failure(Why::ChangedDuringFormatting, escapedName(path));
    return writeFile(path, bytes);
}

// Windows keeps no owner a rewrite could lose here; the check is the run's.
Status QtPlatform::restoreFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    FileIdentity now;
    if (!statFile(path, now) || !now.unchangedAs(read))
        return Status::failure(Why::ChangedDuringRestore, escapedName(path));
    return writeFile(path, bytes);
}

std::string QtPlatform::canonicalPath(const std::string& path) {
    return fromQ(QFileInfo(qs(path)).canonicalFilePath());
}

// One file at a time, as writeBackup and replaceFile write them: always a
// copy, each one flushed as it is written.
void QtPlatform::writeBackups(std::vector<BatchBackup>& backups) {
    for (BatchBackup& b : backups) {
        b.linked = false;
        b.status = writeBackup(b.to, *b.bytes, b.read);
    }
}

Status QtPlatform::syncFolders(const std::vector<std::string>& folders) {
    (void)folders;
    return Status::success();
}

void QtPlatform::replaceFiles(std::vector<BatchReplacement>& replacements) {
    for (BatchReplacement& r : replacements) r.status = replaceFile(r.path, *r.bytes, r.read);
}

void QtPlatform::removeStaleTemporaries(const std::string& folder) { (void)folder; }

#endif

QtPlatform::Settings& QtPlatform::settings() {
    if (!settings_) {
        settings_ = std::make_unique<Settings>();
        if (options_.settingsFile.empty()) {
            settings_->store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                           QString::fromLatin1(kApplication),
                                                           QString::fromLatin1(kApplication));
        } else {
            settings_->store = std::make_unique<QSettings>(qs(options_.settingsFile), QSettings::IniFormat);
        }
    }
    return *settings_;
}

std::string QtPlatform::readSetting(const std::string& section, const std::string& key) {
    QSettings& store = *settings().store;
    store.sync();  // see what another program start stored meanwhile
    return fromQ(store.value(qs(section + "/" + key)).toString());
}

Status QtPlatform::writeSetting(const std::string& section, const std::string& key,
                                const std::string& value) {
    QSettings& store = *settings().store;
    const QString name = qs(section + "/" + key);
    const QString text = qs(value);
    // A run stores the same slot for every file: a value that is already
    // stored (as this store last read or wrote it) needs no write to disk.
    if (store.contains(name) && store.value(name).toString() == text) return Status::success();
    store.setValue(name, text);
    store.sync();
    if (store.status() != QSettings::NoError) {
        return Status::failure(Why::CannotStoreSetting, escapedName(fromQ(store.fileName())),
                               section + "/" + key);
    }
    return Status::success();
}

Status QtPlatform::openFolder(const std::string& path) {
    if (options_.folderOpener) return options_.folderOpener(path);
#if defined(Q_OS_WIN)
    return runFolderOpener("explorer.exe", path);
#elif defined(Q_OS_MACOS)
    return runFolderOpener("open", path);
#else
    return runFolderOpener("xdg-open", path);
#endif
}

Status runFolderOpener(const std::string& program, const std::string& folder) {
    // The folder goes as one argument, so blanks in it need no quoting.
    const QStringList arguments{QDir::toNativeSeparators(qs(folder))};
#if defined(Q_OS_WIN)
    // explorer.exe's exit code says nothing about the folder: that it
    // started is all there is to know.
    if (QProcess::startDetached(qs(program), arguments)) return Status::success();
    return Status::failure(Why::CannotStart, escapedName(folder), program);
#else
    // The opener hands the folder to the file manager and ends, saying by
    // its exit code whether it could; one that is still running after a
    // moment is the file manager itself, and is left to run, past the end
    // of this program too.
    constexpr int kOpenerWaitMs = 2000;
    auto* opener = new QProcess;
    opener->setProgram(qs(program));
    opener->setArguments(arguments);
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->start();
    if (!opener->waitForStarted()) {
        delete opener;
        return Status::failure(Why::CannotStart, escapedName(folder), program);
    }
    if (!opener->waitForFinished(kOpenerWaitMs)) {
        QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
        return Status::success();
    }
    const bool opened = opener->exitStatus() == QProcess::NormalExit && opener->exitCode() == 0;
    const int exitCode = opener->exitCode();
    delete opener;
    if (opened) return Status::success();
    return Status::failure(Why::OpenerFailed, escapedName(folder), program).at(exitCode);
#endif
}

std::string QtPlatform::programFolder() {
    if (!options_.programFolder.empty()) return options_.programFolder;
    if (QCoreApplication::instance() != nullptr) return fromQ(QCoreApplication::applicationDirPath());
    return fromQ(QDir::currentPath());
}

bool isSystemProgramFolder(const std::string& folder) {
    for (const std::string prefix : {"/usr", "/bin", "/sbin", "/opt", "/snap"}) {
        if (folder.compare(0, prefix.size(), prefix) != 0) continue;
        if (folder.size() == prefix.size() || folder[prefix.size()] == '/') return true;
    }
    return false;
}

std::string QtPlatform::backupRoot() {
    if (!backupRoot_.empty()) return backupRoot_;
    QString root;
    if (!options_.backupRoot.empty()) {
        root = qs(options_.backupRoot);
    } else {
        const QString program = qs(programFolder());
        bool systemFolder = false;
#ifndef _WIN32
        systemFolder = isSystemProgramFolder(fromQ(QDir::cleanPath(program)));
#endif
        if (QFileInfo(program).isWritable() && !systemFolder) {
            root = program;
        } else {
            root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                   QStringLiteral("/") + QString::fromLatin1(kApplication);
        }
    }
    // The backup folders are created one level below; their parent must be there.
#ifndef _WIN32
    posixMakeFolders(fromQ(root));
#else
    QDir().mkpath(root);
#endif
    backupRoot_ = fromQ(root);
    return backupRoot_;
}

namespace {

/// The hold on a backup root: a QLockFile, which records the holder's
/// process and lets a later run take over the file of one that died.
class QtRootLock : public RootLock {
public:
    explicit QtRootLock(const QString& path) : file_(path) { file_.setStaleLockTime(0); }
    QLockFile& file() { return file_; }

private:
    QLockFile file_;
};

}  // namespace

Status QtPlatform::lockBackupRoot(int waitMilliseconds, std::unique_ptr<RootLock>& lock) {
    const std::string root = backupRoot();
    const QString path = qs(root) + QStringLiteral("/") + QString::fromLatin1(kRootLockName);
    auto held = std::make_unique<QtRootLock>(path);
    if (held->file().tryLock(waitMilliseconds)) {
        lock = std::move(held);
        return Status::success();
    }
    switch (held->file().error()) {
        case QLockFile::LockFailedError: {
            qint64 pid = 0;
            QString host, application;
            held->file().getLockInfo(&pid, &host, &application);
            return Status::failure(Why::BackupRootBusy, root,
                                   "process " + std::to_string(pid) + " " + fromQ(application));
        }
        case QLockFile::PermissionError:
            return fail(fromQ(path), Why::CannotLockBackupRoot, QStringLiteral("permission denied"));
        default:
            return fail(fromQ(path), Why::CannotLockBackupRoot, QStringLiteral("unknown error"));
    }
}

}  // namespace codekiln
