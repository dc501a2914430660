// The manifest a run leaves in its backup slot folder: when it ran, over
// which folder, with which options, and for each file it reached the size
// and hash of the original (its backup copy) and of the text written.
// A restore trusts nothing else: it puts a backup copy back only where the
// copy and the file on disk still hold the bytes recorded here. Plain data,
// so the run fills it without seeing Qt; the platform keeps it as JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/state/format_options.h"

namespace codekiln {

/// The manifest's name in a slot folder; the leading dot hides it from the
/// file manager, so "打开备份" shows the backup copies as before.
inline constexpr const char* kRunManifestName = ".codekiln-run.json";
/// Beside it, the journal of a run under way: the files it is about to
/// replace, batch by batch, each batch on disk before the first of its
/// files is replaced.
inline constexpr const char* kRunJournalName = ".codekiln-run.journal";

/// The hash a fingerprint holds. A run records XXH3-128 (it tells changed
/// bytes from unchanged ones, which is all a restore asks); manifests of
/// older runs hold SHA-256 and are read and compared as they are.
enum class HashKind {
    Xxh3_128,
    Sha256,
};

/// A file's size and hash: what a restore compares bytes on disk with.
struct Fingerprint {
    std::int64_t size = 0;
    HashKind hash = HashKind::Xxh3_128;
    std::string digest;  ///< lower-case hex; empty when the bytes were never read

    bool known() const { return !digest.empty(); }
    bool operator==(const Fingerprint& o) const {
        return size == o.size && hash == o.hash && digest == o.digest;
    }
    bool operator!=(const Fingerprint& o) const { return !(*this == o); }
};

/// What a run did to one file.
enum class FileEnd {
    Formatted,  ///< new bytes written over the original
    Unchanged,  ///< written back, byte for byte the original
    Failed,     ///< left as it was, for `reason`
};

/// One file a run reached, in the order it reached them.
struct ManifestFile {
    /// The name relative to the run's folder, '/' between folders: for a
    /// run over one folder, the file name. Also the backup copy's name in
    /// the slot folder.
    std::string path;
    /// Where the run wrote the file, absolute, its folder's symbolic links
    /// resolved, when that is not the run's folder with `path` below it (a
    /// run over several PATHs, one of them absolute or outside the current
    /// folder; a symbolic link, whose target was written); empty otherwise.
    std::string place;
    FileEnd end = FileEnd::Failed;
    std::string reason;    ///< why it failed; empty otherwise
    Fingerprint original;  ///< the bytes read and backed up; unknown when the file could not be read
    Fingerprint written;   ///< the bytes written; unknown unless formatted or unchanged
};

/// The record of one run, kept in the slot folder it used.
struct RunManifest {
    std::int64_t startedMs = 0;  ///< milliseconds since 1970-01-01 UTC
    std::int64_t endedMs = 0;
    std::string folder;     ///< the run's folder, absolute, every symbolic link resolved
    std::string extension;  ///< the extension after trimming
    FormatOptions options;
    int slot = 0;  ///< the backup slot 1..5
    std::vector<ManifestFile> files;
    /// The run keeps a journal (kRunJournalName) of the files it replaces
    /// until its manifest is whole: a run killed on the way is undone from
    /// it. Runs of older programs kept none.
    bool journaled = false;

    /// A run writes its manifest once as it begins, with no end time, and
    /// again after its last file; one without an end time is of a run that
    /// was killed (or lost its disk) on the way, and names no file: its
    /// journal names those it replaced.
    bool finished() const { return endedMs != 0; }
};

}  // namespace codekiln
