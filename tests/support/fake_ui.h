// A user who answers the extension warning as told and remembers every
// message box and progress call of a run.
#pragma once

#include <string>
#include <vector>

#include "run/user_interface.h"

namespace codekiln::testing {

struct FakeUi : UserInterface {
    explicit FakeUi(bool answer = true) : answer(answer) {}
    void messageOk(const std::string& text) override { okBoxes.push_back(text); }
    void messageOkWithDetails(const std::string& text, const std::string& shown) override {
        details.push_back(shown);
        messageOk(text);
    }
    bool messageYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void progress(long long done, long long total, const std::string& name) override {
        progressCalls.push_back(std::to_string(done) + "/" + std::to_string(total) + " " + name);
    }

    bool answer;
    std::vector<std::string> okBoxes, details, questions, progressCalls;
};

}  // namespace codekiln::testing
