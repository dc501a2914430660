// The real machine on QtCore: its files (QDir for listing, QSaveFile for
// writing, the POSIX calls of posix_files where names are bytes), its
// settings store (QSettings) and its desktop. The header stays free of Qt so
// that front ends and tests can hold one without pulling Qt into their
// headers. What differs between systems is in qt_platform_posix.cc and
// qt_platform_windows.cc, one of which the build takes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"

namespace codekiln {

/// What a QtPlatform is set up with; the defaults give the real machine.
struct QtPlatformOptions {
    /// The folder that holds 备份1..备份5. Empty: the program folder when it
    /// is writable and not a system folder, else the per-user data folder
    /// ".../codekiln".
    std::string backupRoot;
    /// An INI file for the settings store. Empty: the per-user store
    /// (the registry on Windows, $XDG_CONFIG_HOME/codekiln/codekiln.conf elsewhere).
    std::string settingsFile;
    /// The program folder. Empty: the folder of the running executable.
    std::string programFolder;
    /// Opens a folder in the file manager. Empty: the desktop's own
    /// (explorer.exe on Windows, open on macOS, xdg-open elsewhere).
    std::function<Status(const std::string& folder)> folderOpener;
};

/// Hands `folder` to `program` (the file manager's opener) as its one
/// argument. A failure when it cannot start and, where the opener's exit
/// code means something (not on Windows), when it ends without success.
Status runFolderOpener(const std::string& program, const std::string& folder);

/// The files, settings store and desktop of the real machine.
class QtPlatform : public FileSystem, public SettingsStore, public Desktop {
public:
    explicit QtPlatform(QtPlatformOptions options = {});
    ~QtPlatform() override;

    Status listFiles(const std::string& folder, const std::string& extension,
                     std::vector<std::string>& names) override;
    Status listFolders(const std::string& folder, std::vector<std::string>& names) override;
    bool folderExists(const std::string& path) override;
    Status createFolder(const std::string& path) override;
    Status readFile(const std::string& path, std::string& bytes) override;
    Status writeFile(const std::string& path, const std::string& bytes) override;
    Status statFile(const std::string& path, FileIdentity& identity) override;
    Status readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) override;
    Status writeBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) override;
    Status replaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) override;
    Status restoreFile(const std::string& path, const std::string& bytes, const FileIdentity& read) override;
    void writeBackups(std::vector<BatchBackup>& backups) override;
    Status syncFolders(const std::vector<std::string>& folders) override;
    void replaceFiles(std::vector<BatchReplacement>& replacements) override;
#ifndef _WIN32
    void restoreFiles(std::vector<BatchReplacement>& restorations) override;
#endif
    Status createFile(const std::string& path, const std::string& bytes, const FileIdentity& of) override;
    void removeStaleTemporaries(const std::string& folder) override;
    PathKind pathKind(const std::string& path) override;
    std::string canonicalPath(const std::string& path) override;
    std::string sameFileKey(const std::string& path) override;
    Status writeRunManifest(const std::string& slotFolder, const RunManifest& manifest) override;
    Status removeRunManifest(const std::string& slotFolder) override;
    Status readRunManifest(const std::string& slotFolder, RunManifest& manifest, bool& found) override;
    Status appendRunJournal(const std::string& slotFolder, std::int64_t startedMs,
                            const std::vector<ManifestFile>& files, bool start) override;
    Status readRunJournal(const std::string& slotFolder, std::int64_t startedMs, std::vector<ManifestFile>& files,
                          bool& found) override;
    std::string readSetting(const std::string& section, const std::string& key) override;
    Status writeSetting(const std::string& section, const std::string& key,
                        const std::string& value) override;
    Status openFolder(const std::string& path) override;
    std::string backupRoot() override;
    /// The reads and path look-ups keep no state of the platform's.
    bool concurrentReads() const override { return true; }
    Status lockBackupRoot(int waitMilliseconds, std::unique_ptr<RootLock>& lock) override;

private:
    /// The folder that holds the program's executable, without a trailing
    /// separator (except for a root).
    std::string programFolder();

    struct Settings;
    Settings& settings();

    QtPlatformOptions options_;
    std::unique_ptr<Settings> settings_;
    std::string backupRoot_;  ///< decided on first use
};

/// The name of the lock file a run holds in its backup root.
inline constexpr const char* kRootLockName = ".codekiln.lock";

/// Reads the whole file at `path` as bytes, in one go.
Status readFileBytes(const std::string& path, std::string& bytes);

/// Writes `bytes` to `path` atomically: a sibling temporary file, flushed to
/// disk, then renamed over the original. A symbolic link's target is
/// replaced, permissions are kept, and a file without its owner's write
/// permission is refused.
Status writeFileAtomically(const std::string& path, const std::string& bytes);

/// Adds `bytes` at the end of the existing file `path` (never through a
/// symbolic link) and has them on disk before it returns.
Status appendDurably(const std::string& path, const std::string& bytes);

/// Whether `folder` (an absolute path with '/' separators) lies in the
/// system's own folders (/usr, /bin, /sbin, /opt, /snap), where only the
/// package manager writes: an installed program keeps no backups there,
/// even when it runs as root and could.
bool isSystemProgramFolder(const std::string& folder);

/// Whether `a` sorts before `b` in a folder listing: names compared with
/// ASCII letters folded to lower case, ties by exact bytes.
bool listingOrderLess(const std::string& a, const std::string& b);

}  // namespace codekiln
