// The formatting pass over one file on disk (`chuli`): the run's counters,
// the backup slot stored, the backup copy, then the shared pipeline (decode,
// format, safety check, encode) and the atomic rewrite in place. A file is
// only rewritten when its backup copy exists; a file that cannot be backed
// up, read, decoded, checked or written keeps its bytes and is reported.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/settings_store.h"
#include "run/backup_slots.h"
#include "run/pipeline.h"
#include "run/run_state.h"
#include "engine/state/format_options.h"

namespace codekiln {

/// Why a file was left unchanged, in words a script can test for; the
/// names (failureCodeName) stay the same from release to release.
enum class FailureCode {
    None,            ///< not a failure
    NotReadable,     ///< the file could not be looked at or read
    InBackupFolder,  ///< it lies in a backup folder and is never formatted
    NotDecoded,      ///< its bytes are not text in the encoding asked for
    SafetyCheck,     ///< the formatted text would not say what the file says
    NotEncodable,    ///< the formatted text cannot be held in the file's encoding
    Unstable,        ///< --until-stable: the text kept changing
    NoBackup,        ///< its backup copy could not be made
    NotWritten,      ///< the new text could not be written in its place
};

/// The stable name of a failure code: "not-readable", "in-backup-folder",
/// "not-decoded", "safety-check", "not-encodable", "unstable", "no-backup",
/// "not-written"; "" for None.
const char* failureCodeName(FailureCode code);

/// What `chuli` did with one file.
struct FileOutcome {
    Status status;               ///< failure, with the reason, when the file was left unchanged
    FailureCode code = FailureCode::None;  ///< the kind of failure, when status is one
    /// The file had been formatted already in this run under another name
    /// (a link): it was left alone this time.
    bool sameFile = false;
    std::int64_t lineCount = 0;  ///< `lineCount`: the file's code lines; 0 when it could not be read
    Fingerprint original;        ///< the bytes read (and backed up); unknown when it could not be read
    Fingerprint written;         ///< the bytes written; unknown unless the write succeeded
    std::vector<StructureWarning> warnings;  ///< the modern layout's findings on the block structure
};

/// What a worker found out about one file ahead of its turn: pure work on
/// its bytes, nothing changed on disk. `chuli` then uses it in place of its
/// own look, read and formatting pass, the last only when the labelled-DO
/// record the file really receives is the one assumed here.
struct PreparedFile {
    Status stat;                 ///< the look at the file
    FileIdentity statIdentity;
    Status readStatus;           ///< the reading, once the file could be looked at
    std::string original;        ///< the bytes read
    FileIdentity identity;       ///< what the file was when read
    Fingerprint originalPrint;
    DoLabelRecord assumed;       ///< the record the pass started from
    DoLabelRecord left;          ///< the record the pass left
    PipelineResult result;       ///< the pass, made once the file was read
    PipelineTimes times;         ///< the pass's times, when the run takes them
};

/// Looks at, reads and formats the file `fn` (starting from `assumed`)
/// without changing anything; safe to call from several threads at once
/// when the file system's look and read are.
PreparedFile prepareFile(const std::string& fn, const FormatOptions& options, FileSystem& files,
                         const PipelineOptions& pipeline, const DoLabelRecord& assumed);

/// A file taken by `stageFile` as far as a pass goes before it writes
/// anything: its outcome so far, and what is still to be written.
struct StagedFile {
    FileOutcome outcome;
    std::string path;      ///< the file
    std::string name;      ///< its name in the run, which is its backup's path in the slot
    bool backUp = false;   ///< it was read: its backup is to be made
    bool rewrite = false;  ///< it was formatted to new bytes, to be written once backed up
    std::string original;  ///< the bytes read
    std::string bytes;     ///< the new text, when `rewrite`
    FileIdentity identity;  ///< what the file was when read
    Status folders;        ///< the first backup folder that could not be made, for the reason
};

/// A file's name in the run, which is its backup's path in the slot: the
/// `runName` given, else the file's own name.
inline std::string runNameOf(const std::string& fn, const std::string& runName) {
    return runName.empty() ? std::string(baseNameOf(fn)) : runName;
}

/// The first half of `chuli`: entry, look, reading and formatting, nothing
/// written. The session and the run's counters move as `chuli` moves them.
StagedFile stageFile(const std::string& fn, SessionState& session, RunCounters& run, const FormatOptions& options,
                     FileSystem& files, SettingsStore& settings, const std::string& runName = {},
                     const PipelineOptions& pipeline = {},
                     PreparedFile* prepared = nullptr);

/// Told by commitFiles, once a batch's backups are on disk and before the
/// first of its files is replaced, which files of the batch are to be
/// replaced (their outcomes' `written` holds the new texts' fingerprints);
/// a failure leaves every one of them as it is, for its reason.
using BeforeReplacing = std::function<Status(const std::vector<std::size_t>& replacing)>;

/// The second half of `chuli`, for a batch of staged files in the run's
/// order: every backup made, the backups made durable together, then every
/// rewrite, the new texts made durable together before the first one is
/// swapped in. No file is rewritten before its backup is on disk; each
/// file's outcome is then the one `chuli` gives it alone.
void commitFiles(std::vector<StagedFile>& batch, const SessionState& session, RunCounters& run,
                 FileSystem& files, const BeforeReplacing& beforeReplacing = {});

/// `chuli`: formats the file `fn` in place as the next file of a run. Adds
/// one to the run's `fileCount`, records the name, stores the session's
/// backup slot in `settings`, and moves the session's labelled-DO record.
/// `runName` is the name recorded for the summary and the backup's path
/// inside the slot folder ("sub/a.f90" backs up to 备份3/sub/a.f90, its
/// folders made as needed); empty, it is the file name of `fn`.
FileOutcome chuli(const std::string& fn, SessionState& session, RunCounters& run, const FormatOptions& options,
                  FileSystem& files, SettingsStore& settings, const std::string& runName = {},
                  const PipelineOptions& pipeline = {}, PreparedFile* prepared = nullptr);

}  // namespace codekiln
