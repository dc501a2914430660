// Golden pairs: each input in golden/ carries its options on its first line
// ("! options:" followed by any of no-separators, no-indent-else,
// remove-blank-lines, fixed); the rest is formatted and compared with the file of
// the same name plus ".expected". The expected text must also format to
// itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/format/format_file.h"

namespace codekiln {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

FormatOptions parseOptions(const std::string& firstLine) {
    FormatOptions options;
    std::istringstream words(firstLine);
    std::string word;
    while (words >> word) {
        if (word == "no-separators") options.showSeparators = false;
        if (word == "no-indent-else") options.indentElse = false;
        if (word == "remove-blank-lines") options.removeBlankLines = true;
        if (word == "fixed") options.form = SourceForm::Fixed;
    }
    return options;
}

std::vector<fs::path> goldenInputs() {
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(CODEKILN_GOLDEN_DIR)) {
        if (entry.path().extension() != ".expected") inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

TEST(Golden, PairsMatchAndAreStable) {
    const std::vector<fs::path> inputs = goldenInputs();
    ASSERT_FALSE(inputs.empty());
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        const std::string text = slurp(input);
        const std::size_t firstEnd = text.find('\n');
        ASSERT_NE(firstEnd, std::string::npos);
        ASSERT_EQ(text.rfind("! options:", 0), 0u) << "first line must carry the options";
        const FormatOptions options = parseOptions(text.substr(10, firstEnd - 10));
        const std::string expected = slurp(input.string() + ".expected");

        DoLabelRecord state;
        EXPECT_EQ(formatText(std::string_view(text).substr(firstEnd + 1), options, state, "\n").text, expected);
        DoLabelRecord again;
        EXPECT_EQ(formatText(expected, options, again, "\n").text, expected);
    }
}

}  // namespace
}  // namespace codekiln
