#include "support/memory_file_system.h"

#include <algorithm>
#include <utility>

#include "platform/file_names.h"
#include "platform/qt_platform.h"
#include "platform/run_manifest_json.h"

namespace codekiln::testing {

namespace {

// Paths are kept with '/' and without a trailing one, whichever separator
// the run joined them with.
std::string key(const std::string& path) {
    std::string k = path;
    std::replace(k.begin(), k.end(), '\\', '/');
    while (k.size() > 1 && k.back() == '/') k.pop_back();
    return k;
}

std::string parentKey(const std::string& k) {
    const std::size_t cut = k.rfind('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : k.substr(0, cut);
}

std::string nameOf(const std::string& k) { return k.substr(k.rfind('/') + 1); }

bool endsWithIgnoringCase(const std::string& name, const std::string& tail) {
    if (tail.size() > name.size()) return false;
    return std::equal(tail.rbegin(), tail.rend(), name.rbegin(), [](char a, char b) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(a) == lower(b);
    });
}

Status notThere(const std::string& path) {
    return Status::failure(Why::CannotRead, escapedName(path), {}, "no such file");
}

class MemoryLock : public RootLock {
public:
    explicit MemoryLock(std::shared_ptr<bool> held) : held_(std::move(held)) { *held_ = true; }
    ~MemoryLock() override { *held_ = false; }

private:
    std::shared_ptr<bool> held_;
};

}  // namespace

MemoryFileSystem::MemoryFileSystem(std::string backupRoot) : backupRoot_(key(backupRoot)) {
    addFolder(backupRoot_);
}

void MemoryFileSystem::put(const std::string& path, std::string bytes) {
    addFolder(parentKey(key(path)));
    std::lock_guard<std::mutex> hold(mutex_);
    putLocked(key(path), std::move(bytes), 0644);
}

void MemoryFileSystem::addFolder(const std::string& path) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (std::string k = key(path); k != "." && folders_.insert(k).second && k != "/"; k = parentKey(k)) {
    }
}

void MemoryFileSystem::remove(const std::string& path) {
    std::lock_guard<std::mutex> hold(mutex_);
    const std::string k = key(path);
    files_.erase(k);
    folders_.erase(k);
    const std::string below = k + "/";
    for (auto i = files_.lower_bound(below); i != files_.end() && i->first.rfind(below, 0) == 0;)
        i = files_.erase(i);
    for (auto i = folders_.lower_bound(below); i != folders_.end() && i->rfind(below, 0) == 0;)
        i = folders_.erase(i);
}

bool MemoryFileSystem::hasFile(const std::string& path) const {
    std::lock_guard<std::mutex> hold(mutex_);
    return files_.count(key(path)) != 0;
}

std::string MemoryFileSystem::bytes(const std::string& path) const {
    std::lock_guard<std::mutex> hold(mutex_);
    const auto found = files_.find(key(path));
    return found == files_.end() ? "<missing>" : found->second.bytes;
}

int MemoryFileSystem::calls(FsCall kind) const {
    std::lock_guard<std::mutex> hold(mutex_);
    const auto found = calls_.find(kind);
    return found == calls_.end() ? 0 : found->second;
}

Status MemoryFileSystem::ask(FsCall kind, const std::string& path) {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        ++calls_[kind];
    }
    return before ? before(kind, path) : Status::success();
}

void MemoryFileSystem::putLocked(const std::string& k, std::string bytes, std::uint32_t mode) {
    File& file = files_[k];
    file.identity = FileIdentity{};
    file.identity.device = 1;
    file.identity.inode = nextInode_++;  // every write makes a new file, as a rename does
    file.identity.size = static_cast<std::int64_t>(bytes.size());
    file.identity.modifiedNs = ++clock_;
    file.identity.mode = mode;
    file.identity.plainEntry = true;
    file.bytes = std::move(bytes);
}

Status MemoryFileSystem::writeNew(const std::string& path, const std::string& bytes, std::uint32_t mode) {
    const std::string k = key(path);
    if (folders_.count(parentKey(k)) == 0 || folders_.count(k) != 0)
        return Status::failure(Why::CannotWrite, escapedName(path), {}, "no such folder");
    putLocked(k, bytes, mode);
    return Status::success();
}

Status MemoryFileSystem::rewrite(const std::string& path, const std::string& bytes, const FileIdentity& read,
                                 Why changed) {
    const auto found = files_.find(key(path));
    if (found == files_.end() || !found->second.identity.unchangedAs(read))
        return Status::failure(changed, escapedName(path));
    putLocked(found->first, bytes, found->second.identity.mode);
    return Status::success();
}

Status MemoryFileSystem::listFiles(const std::string& folder, const std::string& extension,
                                   std::vector<std::string>& names) {
    names.clear();
    Status asked = ask(FsCall::List, folder);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const std::string k = key(folder);
    if (folders_.count(k) == 0) return Status::failure(Why::FolderNotFound, escapedName(folder));
    for (const auto& [path, file] : files_) {
        const std::string name = nameOf(path);
        if (parentKey(path) == k && name[0] != '.' && endsWithIgnoringCase(name, extension)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), listingOrderLess);
    return Status::success();
}

Status MemoryFileSystem::listFolders(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    Status asked = ask(FsCall::List, folder);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const std::string k = key(folder);
    if (folders_.count(k) == 0) return Status::failure(Why::NotAFolder, escapedName(folder));
    for (const std::string& path : folders_) {
        if (path != k && parentKey(path) == k && nameOf(path)[0] != '.') names.push_back(nameOf(path));
    }
    std::sort(names.begin(), names.end(), listingOrderLess);
    return Status::success();
}

bool MemoryFileSystem::folderExists(const std::string& path) {
    std::lock_guard<std::mutex> hold(mutex_);
    return folders_.count(key(path)) != 0;
}

Status MemoryFileSystem::createFolder(const std::string& path) {
    Status asked = ask(FsCall::CreateFolder, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const std::string k = key(path);
    if (folders_.count(parentKey(k)) == 0 || folders_.count(k) != 0 || files_.count(k) != 0)
        return Status::failure(Why::CannotCreateFolder, escapedName(path));
    folders_.insert(k);
    return Status::success();
}

Status MemoryFileSystem::readFile(const std::string& path, std::string& bytes) {
    FileIdentity identity;
    return readFileOnce(path, bytes, identity);
}

Status MemoryFileSystem::writeFile(const std::string& path, const std::string& bytes) {
    Status asked = ask(FsCall::Write, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const auto found = files_.find(key(path));
    return writeNew(path, bytes, found == files_.end() ? 0644 : found->second.identity.mode);
}

Status MemoryFileSystem::statFile(const std::string& path, FileIdentity& identity) {
    Status asked = ask(FsCall::Stat, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const auto found = files_.find(key(path));
    if (found == files_.end()) return notThere(path);
    identity = found->second.identity;
    return Status::success();
}

Status MemoryFileSystem::readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) {
    Status asked = ask(FsCall::Read, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const auto found = files_.find(key(path));
    if (found == files_.end()) return notThere(path);
    bytes = found->second.bytes;
    identity = found->second.identity;
    return Status::success();
}

Status MemoryFileSystem::writeBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) {
    Status asked = ask(FsCall::WriteBackup, to);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    return writeNew(to, bytes, of.mode & 0777);
}

Status MemoryFileSystem::replaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    Status asked = ask(FsCall::Replace, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    return rewrite(path, bytes, read, Why::ChangedDuringFormatting);
}

Status MemoryFileSystem::restoreFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    Status asked = ask(FsCall::Restore, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    return rewrite(path, bytes, read, Why::ChangedDuringRestore);
}

Status MemoryFileSystem::createFile(const std::string& path, const std::string& bytes, const FileIdentity& of) {
    Status asked = ask(FsCall::Create, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const std::string k = key(path);
    if (files_.count(k) != 0 || folders_.count(k) != 0) return Status::failure(Why::MadeDuringRestore, path);
    return writeNew(path, bytes, of.mode & 0777);
}

// Nothing here ever leaves a temporary file behind.
// A batch is its files one at a time: memory keeps every write at once.
void MemoryFileSystem::writeBackups(std::vector<BatchBackup>& backups) {
    for (BatchBackup& b : backups) {
        b.linked = false;
        b.status = writeBackup(b.to, *b.bytes, b.read);
    }
}

Status MemoryFileSystem::syncFolders(const std::vector<std::string>& folders) {
    (void)folders;
    return Status::success();
}

void MemoryFileSystem::replaceFiles(std::vector<BatchReplacement>& replacements) {
    for (BatchReplacement& r : replacements) r.status = replaceFile(r.path, *r.bytes, r.read);
}

void MemoryFileSystem::removeStaleTemporaries(const std::string& folder) { (void)folder; }

PathKind MemoryFileSystem::pathKind(const std::string& path) {
    std::lock_guard<std::mutex> hold(mutex_);
    const std::string k = key(path);
    if (files_.count(k) != 0) return PathKind::File;
    if (folders_.count(k) != 0) return PathKind::Folder;
    return PathKind::Missing;
}

std::string MemoryFileSystem::canonicalPath(const std::string& path) {
    std::lock_guard<std::mutex> hold(mutex_);
    const std::string k = key(path);
    return files_.count(k) != 0 || folders_.count(k) != 0 ? k : std::string();
}

Status MemoryFileSystem::writeRunManifest(const std::string& slotFolder, const RunManifest& manifest) {
    Status asked = ask(FsCall::Manifest, slotFolder);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const Status written = writeNew(key(slotFolder) + "/" + kRunManifestName, manifestToJson(manifest), 0644);
    if (written && manifest.finished()) files_.erase(key(slotFolder) + "/" + kRunJournalName);
    return written;
}

Status MemoryFileSystem::removeRunManifest(const std::string& slotFolder) {
    Status asked = ask(FsCall::Manifest, slotFolder);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    files_.erase(key(slotFolder) + "/" + kRunManifestName);
    return Status::success();
}

Status MemoryFileSystem::readRunManifest(const std::string& slotFolder, RunManifest& manifest, bool& found) {
    const std::string path = key(slotFolder) + "/" + kRunManifestName;
    Status asked = ask(FsCall::Read, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const auto file = files_.find(path);
    found = file != files_.end();
    if (!found) return Status::success();
    return manifestFromJson(file->second.bytes, path, manifest);
}

Status MemoryFileSystem::appendRunJournal(const std::string& slotFolder, std::int64_t startedMs,
                                          const std::vector<ManifestFile>& files, bool start) {
    const std::string path = key(slotFolder) + "/" + kRunJournalName;
    Status asked = ask(FsCall::Journal, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const std::string text = journalToText(startedMs, files, start);
    if (start) return writeNew(path, text, 0644);
    const auto found = files_.find(path);
    if (found == files_.end()) return Status::failure(Why::CannotWrite, escapedName(path), {}, "no such file");
    putLocked(path, found->second.bytes + text, 0644);
    return Status::success();
}

Status MemoryFileSystem::readRunJournal(const std::string& slotFolder, std::int64_t startedMs,
                                        std::vector<ManifestFile>& files, bool& found) {
    const std::string path = key(slotFolder) + "/" + kRunJournalName;
    Status asked = ask(FsCall::Read, path);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    const auto file = files_.find(path);
    files.clear();
    found = false;
    if (file == files_.end()) return Status::success();
    return journalFromText(file->second.bytes, startedMs, path, files, found);
}

Status MemoryFileSystem::lockBackupRoot(int waitMilliseconds, std::unique_ptr<RootLock>& lock) {
    (void)waitMilliseconds;
    Status asked = ask(FsCall::Lock, backupRoot_);
    if (!asked) return asked;
    std::lock_guard<std::mutex> hold(mutex_);
    if (*locked_) return Status::failure(Why::BackupRootBusy, backupRoot_, "process 0 codekiln");
    lock = std::make_unique<MemoryLock>(locked_);
    return Status::success();
}

std::string MemorySettings::readSetting(const std::string& section, const std::string& key) {
    const auto found = values.find(section + "/" + key);
    return found == values.end() ? std::string() : found->second;
}

Status MemorySettings::writeSetting(const std::string& section, const std::string& key, const std::string& value) {
    if (failWrites) return Status::failure(Why::CannotStoreSetting, "memory", section + "/" + key);
    values[section + "/" + key] = value;
    return Status::success();
}

}  // namespace codekiln::testing
