// The batch run behind "处理代码": checks the extension, advances the backup
// slot, lists the folder's matching files, formats each one in place with
// `chuli`, and reports the totals, the names and the backup folder used.
// Both the window and the command line call it; each maps its outcome to
// what it shows or to an exit code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/state/format_options.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "run/chuli.h"
#include "run/messages.h"
#include "run/pipeline.h"
#include "run/run_state.h"
#include "run/user_interface.h"

namespace codekiln {

/// How a run ended.
enum class BatchEnd {
    Cancelled,         ///< the extension warning was answered No; nothing changed
    MissingExtension,  ///< the extension was empty after trimming; nothing changed
    Completed,         ///< the files were processed and the summary shown
    /// Another run held the backup root, or the slot could not be stored:
    /// nothing was touched; `message` says why.
    NotStarted,
};

/// The first line of the message of a run that could not lock its backup
/// root (another run holds it, or it cannot be written).
extern const std::string kBackupRootUnavailable;
/// The first line of the message of a run that could not store its slot.
extern const std::string kSlotNotStored;

/// One file a run reached, and what became of it.
struct FileReport {
    std::string name;  ///< as the summary names it ("sub/a.f90")
    std::string path;  ///< the path it was reached by
    FileEnd end = FileEnd::Failed;
    FailureCode code = FailureCode::None;  ///< why it failed
    std::string reason;                    ///< the failure in words, naming the path
    bool sameFile = false;  ///< formatted already in this run under another name
    std::int64_t lineCount = 0;
};

/// What a run did, for the front end to show or map to an exit code.
struct BatchOutcome {
    BatchEnd end = BatchEnd::Cancelled;
    /// The text of the run's last message box: the summary, or "请选择文件类型";
    /// empty after a No to the warning.
    std::string message;
    /// Files counted and named in the summary that were left unchanged.
    std::vector<FileFailure> failures;
    /// Every file the run reached, in order.
    std::vector<FileReport> files;
    /// The block-structure warnings of the modern layout, one line each,
    /// with the file named as the summary names it.
    std::vector<std::string> warnings;
    /// Matching files left untouched because the user stopped the run.
    long long stopped = 0;
    /// Failed when the folder could not be listed (the run then found no file).
    Status listed;
    /// Set when the run's manifest could not be kept in its slot folder.
    std::string manifestError;
    /// The run's hold on its backup root, kept until the front end has put
    /// out the summary (released with the outcome).
    std::unique_ptr<RootLock> lock;
};

/// `runBatch`: one run over the files of `folder` whose names end in the
/// extension text, as the "处理代码" button does it. `extensionText` is taken
/// exactly as typed: the warning is decided on it untrimmed.
/// `session` carries the backup slot and the labelled-DO record from run to
/// run, `settings` the stored slot from program to program. `jobs`: files read and formatted at once (PipelineOptions::jobs).
BatchOutcome runBatch(const std::string& extensionText, const std::string& folder, SessionState& session,
                      const FormatOptions& options, FileSystem& fileSystem, SettingsStore& settings,
                      UserInterface& ui, int jobs = 0);

/// One file of a run given as a list: its path, and the name the summary
/// shows and the backup copy takes inside the slot folder ("sub/a.f90").
struct RunFile {
    std::string path;
    std::string name;
    /// What of the file's formatting is written (PipelineOptions::keep);
    /// unset: the run's own choice.
    std::function<std::string(const std::string& original, const std::string& formatted)> keep = {};
};

/// The steps of a run before any file is looked at: the extension warning
/// (decided on `extensionText` untrimmed), then the trimmed extension, which
/// must not be empty when `needExtension`. Completed, with `extension` set,
/// when the run may go on; otherwise how it ended, with `message` set for a
/// missing extension.
BatchEnd confirmExtension(const std::string& extensionText, bool needExtension, UserInterface& ui,
                          std::string& extension, std::string& message);

/// The rest of a run over files already listed: advances the backup slot,
/// formats each file with `chuli` in the order given, and builds the
/// summary. With `pipeline.jobs` above 1 (on a file system whose reads may run
/// in parallel), workers look at, read and format files ahead of their turn;
/// every backup, rewrite, count, report, progress call and stop check is
/// still made by the calling thread, in order, as with one job. `runBatch` ends here with the folder's listing; the command line
/// with the files of its PATHs. The files' names are relative to `folder`,
/// which the run's manifest records with `extension` for a later restore.
BatchOutcome runFiles(const std::vector<RunFile>& files, const std::string& folder, const std::string& extension,
                      SessionState& session, const FormatOptions& options, const PipelineOptions& pipeline,
                      FileSystem& fileSystem, SettingsStore& settings, UserInterface& ui);

}  // namespace codekiln
