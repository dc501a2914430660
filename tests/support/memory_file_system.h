// A file system and a settings store held in memory, for the run's tests
// that need no real disk: files as bytes, each with an identity that
// changes with every write, folders as names, a slot's manifest as the JSON
// file the real one keeps, and the backup root's lock within the object.
// Every call can be made to fail, or to change the files first (another
// program at work), through `before`.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/settings_store.h"

namespace codekiln::testing {

/// The calls `before` is told about.
enum class FsCall {
    List,          ///< listFiles, listFolders
    Stat,          ///< statFile
    Read,          ///< readFile, readFileOnce
    Write,         ///< writeFile
    WriteBackup,   ///< writeBackup
    Replace,       ///< replaceFile
    Restore,       ///< restoreFile
    Create,        ///< createFile
    CreateFolder,  ///< createFolder
    Manifest,      ///< writeRunManifest, removeRunManifest
    Journal,       ///< appendRunJournal
    Lock,          ///< lockBackupRoot
};

class MemoryFileSystem : public FileSystem {
public:
    /// An empty file system with the folder `backupRoot` and the folders above it.
    explicit MemoryFileSystem(std::string backupRoot = "/backups");

    /// Puts `bytes` at `path` as a new file, its folders made as needed.
    void put(const std::string& path, std::string bytes);
    void addFolder(const std::string& path);
    /// Removes the file or the folder (with all below it) at `path`.
    void remove(const std::string& path);
    bool hasFile(const std::string& path) const;
    /// The bytes of the file at `path`; "<missing>" when there is none.
    std::string bytes(const std::string& path) const;
    /// How often calls of `kind` were made, refused ones included.
    int calls(FsCall kind) const;

    /// Called before every call of a kind above with the path it concerns,
    /// outside the file system's own lock (so it may change the files); a
    /// failure it gives is the call's, which then changes nothing. A run
    /// with several jobs makes its looks and reads from several threads.
    std::function<Status(FsCall, const std::string& path)> before;

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
    Status createFile(const std::string& path, const std::string& bytes, const FileIdentity& of) override;
    void writeBackups(std::vector<BatchBackup>& backups) override;
    Status syncFolders(const std::vector<std::string>& folders) override;
    void replaceFiles(std::vector<BatchReplacement>& replacements) override;
    void removeStaleTemporaries(const std::string& folder) override;
    bool concurrentReads() const override { return true; }
    PathKind pathKind(const std::string& path) override;
    std::string canonicalPath(const std::string& path) override;
    std::string sameFileKey(const std::string& path) override { return canonicalPath(path); }
    Status writeRunManifest(const std::string& slotFolder, const RunManifest& manifest) override;
    Status removeRunManifest(const std::string& slotFolder) override;
    Status readRunManifest(const std::string& slotFolder, RunManifest& manifest, bool& found) override;
    Status appendRunJournal(const std::string& slotFolder, std::int64_t startedMs,
                            const std::vector<ManifestFile>& files, bool start) override;
    Status readRunJournal(const std::string& slotFolder, std::int64_t startedMs, std::vector<ManifestFile>& files,
                          bool& found) override;
    std::string backupRoot() override { return backupRoot_; }
    Status lockBackupRoot(int waitMilliseconds, std::unique_ptr<RootLock>& lock) override;

private:
    struct File {
        std::string bytes;
        FileIdentity identity;
    };

    Status ask(FsCall kind, const std::string& path);
    // The rest run under `mutex_`.
    void putLocked(const std::string& key, std::string bytes, std::uint32_t mode);
    Status writeNew(const std::string& path, const std::string& bytes, std::uint32_t mode);
    Status rewrite(const std::string& path, const std::string& bytes, const FileIdentity& read, Why changed);

    mutable std::mutex mutex_;
    std::map<std::string, File> files_;
    std::set<std::string> folders_;
    std::map<FsCall, int> calls_;
    std::uint64_t nextInode_ = 1;
    std::int64_t clock_ = 0;
    std::string backupRoot_;
    std::shared_ptr<bool> locked_ = std::make_shared<bool>(false);
};

/// A settings store in memory; `failWrites` makes every write fail.
class MemorySettings : public SettingsStore {
public:
    std::string readSetting(const std::string& section, const std::string& key) override;
    Status writeSetting(const std::string& section, const std::string& key, const std::string& value) override;

    std::map<std::string, std::string> values;  ///< by "section/key"
    bool failWrites = false;
};

}  // namespace codekiln::testing
