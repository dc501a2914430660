// The command line's side of a run: the extension warning asked on the
// terminal (or answered by --yes), and progress on stderr for long runs.
// The run's final message is printed by the caller from the outcome.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "run/user_interface.h"

namespace codekiln {

/// Message boxes and progress for a run started from the command line.
class TerminalUi : public UserInterface {
public:
    TerminalUi(bool answerYes, std::FILE* in, std::FILE* err);

    /// Does nothing: the front end prints the outcome's message itself.
    void messageOk(const std::string& text) override;
    /// Yes when --yes was given; else asks on the terminal, and answers No
    /// when there is no terminal to ask on (see unanswered()).
    bool messageYesNo(const std::string& text) override;
    /// A one-line counter on stderr, once a run has lasted kProgressDelay and
    /// only when stderr is a terminal.
    void progress(long long done, long long total, const std::string& name) override;

    /// --quiet: no progress line.
    void setQuiet(bool quiet) { quiet_ = quiet; }

    /// The warning had to be answered No because nobody could be asked.
    bool unanswered() const { return unanswered_; }

    static constexpr std::chrono::milliseconds kProgressDelay{500};

private:
    bool answerYes_;
    std::FILE* in_;
    std::FILE* err_;
    bool unanswered_ = false;
    bool progressShown_ = false;
    bool quiet_ = false;
    std::chrono::steady_clock::time_point runStart_;
};

/// Whether the stream is a terminal.
bool isTerminal(std::FILE* stream);

/// A message's CR LF line ends as the terminal's own.
std::string terminalText(const std::string& text);

}  // namespace codekiln
