// Terminal questions and progress for codekiln-cli. Nothing is asked when
// stdin is not a terminal: a script gets a clear "No" and exit code 2
// instead of a run that hangs waiting for an answer.
#include "cli/terminal_ui.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "engine/state/text.h"

namespace codekiln {

bool isTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

std::string terminalText(const std::string& text) {
#ifdef _WIN32
    return text;
#else
    return replaceAll(text, "\r\n", "\n");
#endif
}

TerminalUi::TerminalUi(bool answerYes, std::FILE* in, std::FILE* err)
    : answerYes_(answerYes), in_(in), err_(err), runStart_(std::chrono::steady_clock::now()) {}

void TerminalUi::messageOk(const std::string& text) { (void)text; }

bool TerminalUi::messageYesNo(const std::string& text) {
    if (answerYes_) return true;
    if (!isTerminal(in_)) {
        unanswered_ = true;
        return false;
    }
    std::fprintf(err_, "%s [y/N] ", terminalText(text).c_str());
    std::fflush(err_);
    char line[64] = {};
    if (std::fgets(line, sizeof line, in_) == nullptr) return false;
    const std::string answer = toLowerAscii(
        trimBlanks(std::string_view(line).substr(0, std::string_view(line).find_first_of("\r\n"))));
    return answer == "y" || answer == "yes" || answer == "是";
}

void TerminalUi::progress(long long done, long long total, const std::string& name) {
    if (done == 0) runStart_ = std::chrono::steady_clock::now();
    if (done >= total) {
        if (progressShown_) std::fputs("\r\x1b[K", err_);
        progressShown_ = false;
        return;
    }
    if (quiet_ || std::chrono::steady_clock::now() - runStart_ < kProgressDelay || !isTerminal(err_)) return;
    std::fprintf(err_, "\r\x1b[K[%lld/%lld] %s", done + 1, total, name.c_str());
    std::fflush(err_);
    progressShown_ = true;
}

}  // namespace codekiln
