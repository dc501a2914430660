// The real machine on QtCore, the part every system shares: atomic writes,
// the settings store, the backup root and its lock, the file manager. Every
// failure comes back as a Status whose message names the path and the
// reason; nothing here shows a message or ends the program.
#include "platform/qt_platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QString>
#include <algorithm>
#include <utility>

#include "platform/file_names.h"
#include "platform/qt_support.h"

namespace codekiln {

namespace {

const char* const kApplication = "codekiln";

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

Status QtPlatform::writeFile(const std::string& path, const std::string& bytes) {
    return writeFileAtomically(path, bytes);
}

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
    return runFolderOpener(desktopFolderOpener(), path);
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
        if (QFileInfo(program).isWritable() && !keepsNoBackups(program)) {
            root = program;
        } else {
            root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                   QStringLiteral("/") + QString::fromLatin1(kApplication);
        }
    }
    // The backup folders are created one level below; their parent must be there.
    makeFolderPath(fromQ(root));
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

/// How old a lock file that names no holder must be to be taken over: its
/// holder writes its name within moments of making the file.
constexpr qint64 kNamelessLockMilliseconds = 10000;

/// Takes over a lock file that names no holder (its program was killed
/// between making the file and writing its name into it), which the lock
/// would otherwise take for a live one for ever. Done under a second lock,
/// as the lock itself does for a dead holder's file, so that two programs
/// never remove each other's fresh lock.
bool takeOverNamelessLock(QtRootLock& held, const QString& path) {
    qint64 pid = 0;
    QString host, application;
    if (held.file().getLockInfo(&pid, &host, &application)) return false;
    QLockFile removal(path + QStringLiteral(".rmlock"));
    if (!removal.tryLock(0)) return false;
    const QFileInfo info(path);
    const bool nameless = info.exists() && !held.file().getLockInfo(&pid, &host, &application) &&
                          info.lastModified().msecsTo(QDateTime::currentDateTime()) > kNamelessLockMilliseconds;
    return nameless && QFile::remove(path) && held.file().tryLock(0);
}

}  // namespace

Status QtPlatform::lockBackupRoot(int waitMilliseconds, std::unique_ptr<RootLock>& lock) {
    const std::string root = backupRoot();
    const QString path = qs(root) + QStringLiteral("/") + QString::fromLatin1(kRootLockName);
    auto held = std::make_unique<QtRootLock>(path);
    if (held->file().tryLock(waitMilliseconds) ||
        (held->file().error() == QLockFile::LockFailedError && takeOverNamelessLock(*held, path))) {
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
        default: {
            // The lock names no cause here; a full disk is the one a person can mend.
            const QStorageInfo disk(qs(root));
            const bool full = disk.isValid() && disk.bytesAvailable() == 0;
            return fail(fromQ(path), Why::CannotLockBackupRoot,
                        full ? QStringLiteral("no space left on the disk") : QStringLiteral("unknown error"));
        }
    }
}

}  // namespace codekiln
