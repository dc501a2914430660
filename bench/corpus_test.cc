// The benchmark corpus must be the same bytes on every run and machine, have
// the size and make-up the figures claim, and be Fortran whose blocks and
// labelled DO loops really open and close as written; otherwise the figures
// measure something else than they say.
#include "corpus.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/format_file.h"
#include "engine/state/do_label_record.h"

namespace codekiln::bench {
namespace {

std::vector<std::string_view> lines(std::string_view text) { return splitLines(text); }

/// Number of characters (code points) of a line.
std::size_t chars(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

CorpusOptions smallCorpus() {
    CorpusOptions o;
    o.files = 200;
    o.totalBytes = 3000000;
    o.bigFiles = 1;
    return o;
}

std::vector<std::string> generateAll(const CorpusOptions& options) {
    std::vector<std::string> texts;
    for (const auto& f : corpusPlan(options)) texts.push_back(generateFile(f));
    return texts;
}

std::int64_t openLoops(const DoLabelRecord& s) {
    std::int64_t open = 0;
    for (const auto& [label, count] : s.openLoops) open += count;
    return open;
}

TEST(CorpusPlan, HasTheAdvertisedShape) {
    struct Row {
        const char* what;
        CorpusOptions options;
        std::size_t bigAtLeast;  // files planned over 1 MB
    };
    CorpusOptions tiny;
    tiny.files = 10;
    tiny.totalBytes = 100000;
    tiny.bigFiles = 0;
    const Row rows[] = {{"default", CorpusOptions{}, 4}, {"small", smallCorpus(), 1}, {"tiny", tiny, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto plan = corpusPlan(row.options);
        ASSERT_EQ(plan.size(), row.options.files);
        std::size_t total = 0;
        std::size_t big = 0;
        for (std::size_t i = 0; i < plan.size(); ++i) {
            total += plan[i].targetBytes;
            big += plan[i].targetBytes > 1000000;
            // Name order is plan order, whatever the case sensitivity of a listing.
            if (i > 0) {
                EXPECT_LT(lower(plan[i - 1].name), lower(plan[i].name));
            }
            EXPECT_EQ(plan[i].name.substr(plan[i].name.size() - 4), ".f90");
        }
        EXPECT_EQ(big, row.bigAtLeast);
        EXPECT_NEAR(static_cast<double>(total), static_cast<double>(row.options.totalBytes),
                    0.01 * row.options.totalBytes);
    }
}

TEST(CorpusPlan, IsTheSameBytesEveryTime) {
    const CorpusOptions options = smallCorpus();
    CorpusOptions otherSeed = options;
    otherSeed.seed += 1;
    const auto a = corpusPlan(options);
    const auto b = corpusPlan(options);
    const auto c = corpusPlan(otherSeed);
    ASSERT_EQ(a.size(), b.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].targetBytes, b[i].targetBytes);
        ASSERT_EQ(generateFile(a[i]), generateFile(b[i])) << a[i].name;
        differing += a[i].seed != c[i].seed;
    }
    EXPECT_EQ(differing, a.size());
    EXPECT_NE(generateFile(a[0]), generateFile(a[1]));
}

TEST(GeneratedFiles, ComeCloseToTheirPlannedSize) {
    const CorpusOptions options = smallCorpus();
    std::size_t planned = 0;
    std::size_t written = 0;
    for (const auto& f : corpusPlan(options)) {
        const std::size_t size = generateFile(f).size();
        planned += f.targetBytes;
        written += size;
        // A file stops at a whole procedure: never far below, a few kB above.
        EXPECT_GT(size, f.targetBytes / 2) << f.name;
        EXPECT_LT(size, f.targetBytes + 12000) << f.name;
    }
    EXPECT_NEAR(static_cast<double>(written), static_cast<double>(planned), 0.05 * planned);
}

TEST(GeneratedFiles, HoldEveryConstructTheBenchmarkClaims) {
    struct Feature {
        const char* what;
        std::function<bool(std::string_view line)> inLine;
        std::size_t minFiles;  // of 200
    };
    auto has = [](std::string_view word) {
        return [w = std::string(word)](std::string_view l) { return lower(l).find(w) != std::string::npos; };
    };
    const Feature features[] = {
        {"labelled DO", [](std::string_view l) {
             const std::string s = lower(l);
             const auto at = s.find("do ");
             return at != std::string::npos && at + 3 < s.size() && s[at + 3] >= '1' && s[at + 3] <= '9';
         }, 150},
        {"nested IF", has(") then"), 190},
        {"ELSE", has("else"), 100},
        {"SELECT CASE", has("select case"), 100},
        {"DO WHILE", has("do while"), 50},
        {"comment line", [](std::string_view l) {
             const auto at = l.find_first_not_of(" \t");
             return at != std::string_view::npos && l[at] == '!';
         }, 200},
        {"trailing comment", has("  ! "), 50},
        {"blank line", [](std::string_view l) { return l.find_first_not_of(" \t") == std::string_view::npos; }, 190},
        {"continuation", [](std::string_view l) { return !l.empty() && l.back() == '&'; }, 150},
        {"constant with blank run", [](std::string_view l) {
             const auto q = l.find('\'');
             return q != std::string_view::npos && l.find("    ", q) != std::string_view::npos &&
                    l.find('\'', q + 1) != std::string_view::npos;
         }, 100},
        {"tab indentation", [](std::string_view l) { return !l.empty() && l.front() == '\t'; }, 10},
        {"capitals", [](std::string_view l) { return l.rfind("END SUBROUTINE", 0) != std::string_view::npos ||
                                                      l.find("CALL ") != std::string_view::npos; }, 10},
        {"non-ASCII comment", [](std::string_view l) {
             return std::any_of(l.begin(), l.end(), [](char c) { return (static_cast<unsigned char>(c) & 0x80) != 0; });
         }, 10},
    };
    const auto texts = generateAll(smallCorpus());
    for (const Feature& f : features) {
        std::size_t files = 0;
        for (const std::string& text : texts) {
            const auto ls = lines(text);
            files += std::any_of(ls.begin(), ls.end(), f.inLine);
        }
        EXPECT_GE(files, f.minFiles) << f.what;
    }
    std::size_t crlf = 0;
    for (const std::string& text : texts) crlf += text.find("\r\n") != std::string::npos;
    EXPECT_GE(crlf, 20u);
    EXPECT_LE(crlf, 100u);
}

TEST(GeneratedFiles, AreValidFreeFormLayout) {
    for (const std::string& text : generateAll(smallCorpus())) {
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');  // files can be joined without merging lines
        for (std::string_view l : lines(text)) ASSERT_LE(chars(l), 132u) << l;
    }
}

TEST(GeneratedFiles, CloseEveryBlockAndLabelledLoop) {
    // Formatted without separators, so nothing resets the label record: every
    // labelled DO must have met its label by the end of the file, and the
    // running indentation must be back at zero after the last unit.
    FormatOptions options;
    options.showSeparators = false;
    std::size_t recorded = 0;
    for (const std::string& text : generateAll(smallCorpus())) {
        DoLabelRecord state;
        const std::string out = formatText(text, options, state, "\n").text;
        EXPECT_EQ(openLoops(state), 0);
        const std::vector<std::string_view> written = lines(out);
        ASSERT_FALSE(written.empty());
        EXPECT_NE(written.back().substr(0, 1), " ") << written.back();  // the last unit's end in column 1
        recorded += static_cast<std::size_t>(state.doLabelCount);
    }
    EXPECT_GT(recorded, 200u);
}

TEST(StressFiles, HaveTheSizeTheyAreNamedFor) {
    struct Row {
        std::size_t loops;
    };
    for (const Row row : {Row{1}, Row{5}, Row{12}, Row{1000}, Row{100000}}) {
        SCOPED_TRACE(row.loops);
        const std::string text = labelledDoFile(row.loops);
        FormatOptions options;
        options.showSeparators = false;
        DoLabelRecord state;
        formatText(text, options, state, "\n");
        EXPECT_EQ(state.doLabelCount, static_cast<std::int64_t>(row.loops));
        EXPECT_EQ(openLoops(state), 0);
    }
    // Labels are Fortran's one to five digits.
    const std::string big = labelledDoFile(100000);  // the lines below point into it
    for (std::string_view l : lines(big)) {
        if (l.empty() || l.front() < '0' || l.front() > '9') continue;
        ASSERT_LE(l.find(' '), 5u) << l;
    }
}

TEST(StressFiles, NestBlocksAsDeepAsAsked) {
    // Each level's statement stands one step deeper than the last (until the
    // 132-character line limit holds it back), and the closing lines walk
    // back out to the unit's end in column 1.
    for (std::size_t depth : {1u, 2u, 3u, 7u, 30u}) {
        SCOPED_TRACE(depth);
        DoLabelRecord state;
        const std::string out = formatText(nestedBlocksFile(depth), FormatOptions{}, state, "\n").text;
        std::size_t level = 0;
        for (std::string_view l : lines(out)) {
            const auto at = l.find("a(1) = a(1) + ");
            if (at == std::string_view::npos) continue;
            const std::string_view text = l.substr(at);
            EXPECT_EQ(text.substr(14), std::to_string(level) + ".0");
            EXPECT_EQ(at, std::min(8 + 4 * level, 132 - text.size()));
            ++level;
        }
        EXPECT_EQ(level, depth);
        const auto ls = lines(out);
        EXPECT_EQ(ls.back(), "end subroutine deep");
        EXPECT_EQ(ls[ls.size() - 2].find_first_not_of(' '), 4u);
    }
}


// The command-line tool: the joined file must hold the folder's bytes in
// name order (the benchmark compares tools on "the same bytes"), and bad
// arguments must fail instead of writing something unexpected.
namespace fs = std::filesystem;

int runTool(const std::string& args) {
    const int status = std::system((std::string(CODEKILN_CORPUS_TOOL) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

TEST(CorpusTool, JoinedFileIsTheFolderInNameOrder) {
    const fs::path dir = fs::temp_directory_path() / ("codekiln_corpus_test_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string size = "--files 12 --megabytes 1 --big 0 ";
    ASSERT_EQ(runTool(size + (dir / "files").string()), 0);
    ASSERT_EQ(runTool(size + "--concat " + (dir / "all.f90").string()), 0);

    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir / "files")) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files.size(), 12u);
    std::string joined;
    for (const fs::path& f : files) joined += readAll(f);
    EXPECT_EQ(joined, readAll(dir / "all.f90"));
    EXPECT_GT(joined.size(), 900000u);
    fs::remove_all(dir);
}

TEST(CorpusTool, RejectsBadArguments) {
    struct Row {
        const char* args;
        int exitCode;
    };
    const Row rows[] = {
        {"", 2},
        {"--files", 2},
        {"--files ten /tmp/x", 2},
        {"--megabytes 1x /tmp/x", 2},
        {"--bogus /tmp/x", 2},
        {"/tmp/a /tmp/b", 2},
        {"--labelled-do 10", 2},
        {"--labelled-do 10 /nonexistent-folder/x.f90", 1},
    };
    for (const Row& row : rows) EXPECT_EQ(runTool(row.args), row.exitCode) << row.args;
}

}  // namespace
}  // namespace codekiln::bench
