// The per-file pipeline shared by every mode: what comes out for a file that
// formats, one the safety check refuses, and one that does not decode, and
// how each moves the labelled-DO record carried to the next file.
#include "run/pipeline.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/format/format_file.h"
#include "run/reason_text.h"

namespace codekiln {
namespace {

// A line the reader takes for an earlier run's banner title only once a
// first run has dropped its leading tab: the safety check must refuse it.
const std::string kRefusedLine = "\t \t!" + std::string(16, '*') + " !\n";

TEST(Pipeline, EveryModeGetsTheSameVerdict) {
    const struct {
        const char* label;
        std::string bytes;
        PipelineEnd end;
        std::int64_t labelsAfter;  // labelled DO statements recorded afterwards
    } cases[] = {
        {"formats", "do 10 i = 1, 2\nx = 1\n", PipelineEnd::Formatted, 1},
        {"a CR inside a line stays in it", "do 10 i = 1, 2\ns = \"a\rb\"\nx = 1 +\r 2\n",
         PipelineEnd::Formatted, 1},
        {"refused, yet the record moves", "do 10 i = 1, 2\n" + kRefusedLine, PipelineEnd::Refused, 1},
        {"not UTF-8 and not GB18030", "do 10 i = 1, 2\n\x81\x20\xFF\n", PipelineEnd::NotDecoded, 0},
    };
    for (const auto& c : cases) {
        DoLabelRecord doLabels;
        const PipelineResult result = formatFileBytes(c.bytes, "a.f90", FormatOptions{}, doLabels, EncodingChoice::Auto);
        EXPECT_EQ(result.end, c.end) << c.label;
        EXPECT_EQ(doLabels.doLabelCount, c.labelsAfter) << c.label;
        if (c.end == PipelineEnd::Formatted) {
            DoLabelRecord fresh;
            EXPECT_EQ(result.bytes, formatText(c.bytes, FormatOptions{}, fresh).text) << c.label;
            EXPECT_EQ(result.reason.code, Why::None) << c.label;
            if (c.bytes.find('\r') != std::string::npos) {
                EXPECT_NE(result.bytes.find("    x = 1 +\r 2\r\n"), std::string::npos) << result.bytes;
            }
        } else {
            EXPECT_TRUE(result.bytes.empty()) << c.label;
            EXPECT_EQ(result.reason.path, "a.f90") << c.label;
        }
    }
}

// Checked on a second thread as it is written, with the input let go
// behind the pass and the check (here: overwritten, so that a byte read
// after it was let go shows), a file comes out exactly as it does checked
// afterwards: its bytes, its verdict and its labelled-DO record.
TEST(Pipeline, CheckingAlongsideGivesTheSameResult) {
    const std::string unit =
        "subroutine s(a, b)\n  do 10 i = 1, 2\n  s = 'a    b &\n\t  c'\n10 continue\n\n\n  end\n";
    std::string many;
    while (many.size() < (3u << 20)) many += unit;
    // One header with many arguments and many units after it: every banner
    // repeats the long argument list, and the output outgrows its room.
    std::string wide = "subroutine w(";
    for (int k = 0; k < 300; ++k) wide += (k == 0 ? "a" : ", a") + std::to_string(k);
    wide += ")\n";
    for (int k = 0; k < 2000; ++k) wide += "end\n";
    const std::string refused = many.substr(0, many.size() / 2) + kRefusedLine + many.substr(many.size() / 2);
    const struct {
        const char* label;
        std::string bytes;
        bool releases;  // large enough for input to be let go
    } cases[] = {
        {"many units", many, true}, {"banners outgrow the room", wide, false},
        {"refused half way", refused, true}, {"one line", "x = 1", false}, {"empty", "", false},
    };
    for (const auto& c : cases) {
        for (const bool removeBlankLines : {false, true}) {
            FormatOptions options;
            options.removeBlankLines = removeBlankLines;
            DoLabelRecord after;
            const PipelineResult expected = formatFileBytes(c.bytes, "a.f90", options, after, EncodingChoice::Auto);
            PipelineOptions alongside;
            alongside.checkAlongside = true;
            std::size_t released = 0;
            alongside.releaseInput = [&](const char* begin, std::size_t size) {
                std::memset(const_cast<char*>(begin), 'X', size);
                released += size;
            };
            DoLabelRecord record;
            const PipelineResult result =
                formatFileBytes(c.bytes, "a.f90", options, record, EncodingChoice::Auto, alongside);
            EXPECT_EQ(result.end, expected.end) << c.label;
            EXPECT_EQ(result.reason.code, expected.reason.code) << c.label;
            EXPECT_EQ(englishText(result.reason), englishText(expected.reason)) << c.label;
            EXPECT_EQ(result.lineCount, expected.lineCount) << c.label;
            EXPECT_TRUE(result.bytes == expected.bytes) << c.label;
            EXPECT_EQ(record.doLabelCount, after.doLabelCount) << c.label;
            if (c.releases) {
                EXPECT_GT(released, c.bytes.size() / 4) << c.label;
            }
        }
    }
}

// The modern layout writes a last line of blanks without a line end empty,
// in either form: the file ends with the line end before it.
TEST(Pipeline, ModernLayoutEmptiesALastBlankLineWithoutAnEnd) {
    FormatOptions modern;
    modern.style = LayoutStyle::Modern;
    modern.form = SourceForm::Auto;
    const std::pair<const char*, std::string> cases[] = {{"a.f90", "x = 1\n   "}, {"a.f", "      X = 1\r\n \t"}};
    for (const auto& [name, bytes] : cases) {
        DoLabelRecord doLabels;
        const PipelineResult result = formatFileBytes(bytes, name, modern, doLabels, EncodingChoice::Auto);
        ASSERT_TRUE(result.formatted()) << name << ": " << englishText(result.reason);
        EXPECT_EQ(result.bytes, bytes.substr(0, bytes.rfind('\n') + 1)) << name;
    }
}

// Each pass shortens a run of blanks once: 64 blanks need three passes and a
// fourth to see nothing change. Every pass starts from the record as it came
// in, so a labelled DO is recorded once, not once per pass.
TEST(Pipeline, UntilStableRepeatsThePassFromTheSameRecord) {
    const std::string text = "do 10 i = 1, 2\nx =" + std::string(64, ' ') + "1\n";
    DoLabelRecord doLabels;
    const PipelineResult result =
        formatFileBytes(text, "a.f90", FormatOptions{}, doLabels, EncodingChoice::Auto, PipelineOptions{true});
    ASSERT_TRUE(result.formatted()) << englishText(result.reason);
    EXPECT_EQ(result.passes, 4);
    EXPECT_EQ(doLabels.doLabelCount, 1);
    DoLabelRecord again;
    EXPECT_EQ(formatText(result.bytes, FormatOptions{}, again).text, result.bytes);
    DoLabelRecord single;
    EXPECT_EQ(formatFileBytes(result.bytes, "a.f90", FormatOptions{}, single, EncodingChoice::Auto, PipelineOptions{true})
                  .passes,
              1);
}

}  // namespace
}  // namespace codekiln
