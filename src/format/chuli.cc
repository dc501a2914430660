// `chuli`, the pass over one file: entry and backup, then reading, the
// engine, and writing. The session state moves exactly as it would have if
// every step had worked whenever the file could be read: a file that cannot
// be backed up or written is still formatted in memory, so the next file's
// indentation and labelled-DO record are the same as without the fault.
#include "format/chuli.h"

#include <string_view>
#include <vector>

#include "format/format_file.h"
#include "format/safety_check.h"

namespace codekiln {

namespace {

constexpr int kBackupFolders = 5;

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder + kPathSeparator + name;
}

}  // namespace

std::string backupFolderName(int slot) { return "备份" + std::to_string(slot); }

std::string fileNameOf(const std::string& fn) {
#ifdef _WIN32
    const std::size_t cut = fn.find_last_of("\\/");
#else
    const std::size_t cut = fn.rfind('/');
#endif
    return cut == std::string::npos ? fn : fn.substr(cut + 1);
}

Status chuli(const std::string& fn, SessionState& state, const FormatOptions& options, Platform& platform) {
    // Entry: the file counts and is named before it is even looked at.
    state.fileCount += 1;
    state.lineCount = 0;
    if (state.backupSlot > kBackupFolders) state.backupSlot = 1;
    platform.writeSetting(kSlotSection, kSlotKey, std::to_string(state.backupSlot));  // failure ignored
    const std::string name = fileNameOf(fn);
    if (state.processedNames.size() < static_cast<std::size_t>(state.fileCount)) {
        state.processedNames.resize(static_cast<std::size_t>(state.fileCount));
    }
    state.processedNames[static_cast<std::size_t>(state.fileCount - 1)] = name;

    // The five backup folders; a missing file ends the pass once the first
    // of them has been made sure of.
    const std::string root = platform.backupRoot();
    for (int k = 1; k <= kBackupFolders; ++k) {
        const std::string folder = joinPath(root, backupFolderName(k));
        if (!platform.folderExists(folder)) platform.createFolder(folder);  // a failure shows in the copy
        if (!platform.fileExists(fn)) return Status::failure(fn + ": file not found");
    }
    const Status backedUp =
        platform.copyFile(fn, joinPath(joinPath(root, backupFolderName(state.backupSlot)), name));

    // Reading: a file that cannot be read or decoded leaves the state alone.
    TextFile file;
    Status status = platform.readTextFile(fn, file);
    if (!status) return status;

    std::string out;
    out.reserve(file.text.size() + file.text.size() / 4 + 1024);
    const std::vector<std::string_view> lines = splitLines(file.text);
    formatFile(lines, state, options, out);
    // The new text must say what the old one said before it may replace it.
    const SafetyVerdict verdict = checkSafety(lines, out);
    std::string().swap(file.text);  // the input is no longer needed while writing
    if (!verdict.same) return Status::failure(fn + ": " + verdict.reason + "; not formatted");

    // Nothing is rewritten without its backup copy.
    if (!backedUp) return Status::failure(backedUp.message + "; not formatted, as it has no backup copy");
    return platform.writeTextFile(fn, out, file.encoding, file.bom);
}

}  // namespace codekiln
