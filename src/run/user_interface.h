// The run's port to its user: message boxes, progress, a stop, and the
// language failures are worded in.
#pragma once

#include <string>

#include "platform/status.h"
#include "run/reason_text.h"

namespace codekiln {

/// The user's side of a run: message boxes and progress. Abstract so that a
/// window, a terminal and a test can each answer.
class UserInterface {
public:
    virtual ~UserInterface() = default;

    /// A message box with OK only; returns when dismissed. Lines are joined by CR LF.
    virtual void messageOk(const std::string& text) = 0;
    /// The same with details the user can open, such as why each failed
    /// file failed; lines of both joined by CR LF. Without a place for
    /// details, the text alone.
    virtual void messageOkWithDetails(const std::string& text, const std::string& details) {
        (void)details;
        messageOk(text);
    }
    /// A message box with Yes (the default) and No; true for Yes.
    virtual bool messageYesNo(const std::string& text) = 0;
    /// Called before each file of a run (`done` files of `total` are finished
    /// and `name` comes next) and once more after the last, with `done` equal
    /// to `total` and an empty name.
    virtual void progress(long long done, long long total, const std::string& name) {
        (void)done;
        (void)total;
        (void)name;
    }
    /// A failure in the words of this side: English unless it says otherwise.
    virtual std::string reasonText(const Reason& reason) { return englishText(reason); }
    /// Whether the user asked to stop the run. Asked after each progress
    /// call, before the next file is touched.
    virtual bool stopRequested() { return false; }
};

}  // namespace codekiln
