// Faults a batch run of codekiln-cli must survive without losing a byte: the
// run ends, the summary names every file and every failure truthfully, every
// formatted file holds exactly the formatted text with its backup complete,
// and nothing else in the tree changes, down to permissions and stray
// temporary files.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/format/format_file.h"
#include "support/scratch_tree.h"

namespace codekiln {
namespace {

using testing::Entry;
using testing::ScratchTree;
using testing::Snapshot;

/// A small program unit with blocks, a labelled DO loop and a constant.
std::string program(const std::string& name) {
    return "program " + name +
           "\n"
           "integer :: i\n"
           "do 10 i = 1, 3\n"
           "if (i > 1) then\n"
           "print *, 'i    =', i\n"
           "end if\n"
           "10 continue\n"
           "end program " +
           name + "\n";
}

/// What the summary printed on standard output says.
struct Summary {
    bool found = false;
    long long lines = -1;
    long long files = -1;
    std::string slot;
    std::vector<std::string> names;
    std::vector<std::string> failed;
};

std::vector<std::string> commaList(const std::string& s) {
    std::vector<std::string> items;
    std::size_t at = 0;
    while (at < s.size() && s[at] == ',') {
        const std::size_t next = s.find(',', at + 1);
        items.push_back(s.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
        at = next == std::string::npos ? s.size() : next;
    }
    return items;
}

Summary parseSummary(const std::string& out) {
    static const std::string kLines = "本次共处理代码", kFiles = "行，文件", kNames = "个，分别为",
                             kSlot = "，本次运行备份文件在备份", kSlotEnd = "文件夹中",
                             kFailed = "以下文件未能格式化，原文件保持不变：";
    Summary s;
    const std::size_t a = out.find(kLines), b = out.find(kFiles), c = out.find(kNames), d = out.find(kSlot),
                      e = out.find(kSlotEnd, d == std::string::npos ? 0 : d);
    if (a == std::string::npos || b == std::string::npos || c == std::string::npos ||
        d == std::string::npos || e == std::string::npos)
        return s;
    s.found = true;
    s.lines = std::stoll(out.substr(a + kLines.size(), b - a - kLines.size()));
    s.files = std::stoll(out.substr(b + kFiles.size(), c - b - kFiles.size()));
    s.names = commaList(out.substr(c + kNames.size(), d - c - kNames.size()));
    s.slot = out.substr(d + kSlot.size(), e - d - kSlot.size());
    const std::size_t f = out.find(kFailed, e);
    if (f != std::string::npos) {
        std::string rest = out.substr(f + kFailed.size());
        while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
        s.failed = commaList("," + rest);
    }
    return s;
}

/// `text` converted between two encodings (iconv names).
std::string convert(const std::string& text, const char* from, const char* to) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    const std::size_t done = ::iconv(cd, &in, &inLeft, &dst, &outLeft);
    ::iconv_close(cd);
    if (done == static_cast<std::size_t>(-1)) return "<not convertible>";
    out.resize(out.size() - outLeft);
    return out;
}

/// The bytes a file in `encoding` holds once formatted as the first file of
/// a run.
std::string formatted(const std::string& bytes, const FormatOptions& options, const std::string& encoding) {
    DoLabelRecord fresh;
    if (encoding == "UTF-8") return formatText(bytes, options, fresh).text;
    const std::string text = convert(bytes, encoding.c_str(), "UTF-8");
    return convert(formatText(text, options, fresh).text, "UTF-8", encoding.c_str());
}

/// The bytes of a literal, NUL bytes included.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

bool startsWith(const std::string& s, const std::string& head) {
    return s.compare(0, head.size(), head) == 0;
}

/// One fault: the tree it is injected into (the run formats folder "in"),
/// the run's extra arguments, and what the summary must say.
struct Fault {
    Fault(std::string name, std::function<void(const ScratchTree&)> setup, std::vector<std::string> arguments,
          std::vector<std::string> listed, std::vector<std::string> failed, FormatOptions options = {},
          long long lines = -1, std::string encoding = "UTF-8")
        : name(std::move(name)),
          setup(std::move(setup)),
          arguments(std::move(arguments)),
          listed(std::move(listed)),
          failed(std::move(failed)),
          options(options),
          lines(lines),
          encoding(std::move(encoding)) {}

    std::string name;
    std::function<void(const ScratchTree&)> setup;
    std::vector<std::string> arguments;
    std::vector<std::string> listed;  ///< the names the summary gives, in order
    std::vector<std::string> failed;  ///< the names reported as left unchanged
    FormatOptions options;
    long long lines;       ///< the code-line total, when checked (-1: not checked)
    std::string encoding;  ///< the files' encoding, as iconv names it
    bool notStarted = false;  ///< the run must stop before touching anything, exit 1
};

/// Checks what the run did to the tree against what its summary says.
void verifyTree(const Snapshot& before, const Snapshot& after, const Summary& summary,
                const FormatOptions& options, const std::string& encoding = "UTF-8") {
    const std::set<std::string> failed(summary.failed.begin(), summary.failed.end());
    std::set<std::string> formattedPaths;
    for (const std::string& name : summary.names) {
        const std::string path = "in/" + name;
        auto entry = before.find(path);
        ASSERT_NE(entry, before.end()) << "the summary names " << name << ", which was not there";
        const std::string backup = "backup/备份" + summary.slot + "/" + name;
        std::string target = path;
        if (entry->second.kind == 'l') {
            target = std::filesystem::path("in/" + entry->second.bytes).lexically_normal().string();
            entry = before.find(target);
            ASSERT_NE(entry, before.end()) << name << " links to nothing";
        }
        if (failed.count(name)) continue;  // checked below as unchanged
        formattedPaths.insert(target);
        const auto now = after.find(target);
        ASSERT_NE(now, after.end()) << target << " is gone";
        EXPECT_TRUE(now->second.bytes == formatted(entry->second.bytes, options, encoding))
            << target << " is not formatted";
        EXPECT_EQ(now->second.mode, entry->second.mode) << target << " lost its permissions";
        const auto copy = after.find(backup);
        ASSERT_NE(copy, after.end()) << name << " was formatted without a backup";
        EXPECT_TRUE(copy->second.bytes == entry->second.bytes) << backup << " is not a complete copy";
    }
    for (const auto& [path, entry] : before) {
        if (formattedPaths.count(path) || startsWith(path, "home/")) continue;
        const auto now = after.find(path);
        ASSERT_NE(now, after.end()) << path << " is gone";
        EXPECT_TRUE(now->second == entry) << path << " changed";
    }
    for (const auto& [path, entry] : after) {
        if (before.count(path) || startsWith(path, "home/")) continue;
        ASSERT_TRUE(path == "backup" || startsWith(path, "backup/")) << "stray new entry " << path;
        if (entry.kind == 'd') continue;
        const std::string name = std::filesystem::path(path).filename().string();
        if (name == ".codekiln-run.json") continue;  // the run's manifest, beside its copies
        auto original = before.find("in/" + name);
        ASSERT_NE(original, before.end()) << "stray backup entry " << path;
        if (original->second.kind == 'l')
            original = before.find(
                std::filesystem::path("in/" + original->second.bytes).lexically_normal().string());
        ASSERT_NE(original, before.end()) << path;
        EXPECT_TRUE(entry.bytes == original->second.bytes) << path << " is not a complete copy";
    }
}

/// Sets up the fault, runs the command line over folder "in" and checks it.
void runFault(const ScratchTree& tree, const Fault& fault) {
    tree.makeFolder("home");
    tree.makeFolder("backup");
    tree.makeFolder("in");
    fault.setup(tree);
    if (testing::runsAsNobody()) tree.chownAll(testing::nobodyUid(), testing::nobodyGid());
    const Snapshot before = tree.snapshot();

    std::vector<std::string> arguments = {"--yes", "--backup-dir", tree.path("backup")};
    arguments.insert(arguments.end(), fault.arguments.begin(), fault.arguments.end());
    arguments.push_back(tree.path("in"));
    const testing::ProgramRun run = testing::runProgram(CODEKILN_CLI, arguments, tree.path("home"));
    ASSERT_FALSE(run.timedOut) << "the run did not end";

    if (fault.notStarted) {
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("本次未处理任何文件"), std::string::npos) << run.err;
        EXPECT_FALSE(parseSummary(run.out).found) << run.out;
        Snapshot after = tree.snapshot(), expected = before;
        for (Snapshot* shot : {&after, &expected}) {
            for (auto it = shot->begin(); it != shot->end();)
                it = startsWith(it->first, "home/") ? shot->erase(it) : ++it;
        }
        EXPECT_TRUE(after == expected) << "the tree changed";
        return;
    }
    const Summary summary = parseSummary(run.out);
    ASSERT_TRUE(summary.found) << "no summary; stdout: " << run.out << "\nstderr: " << run.err;
    EXPECT_EQ(summary.names, fault.listed);
    EXPECT_EQ(summary.failed, fault.failed) << run.err;
    EXPECT_EQ(summary.files, static_cast<long long>(fault.listed.size()));
    if (fault.lines >= 0) {
        EXPECT_EQ(summary.lines, fault.lines);
    }
    EXPECT_EQ(run.exitCode, fault.failed.empty() ? 0 : 1) << run.err;
    verifyTree(before, tree.snapshot(), summary, fault.options, fault.encoding);
}

std::string repeatLines(const std::string& line, int times) {
    std::string s;
    s.reserve(line.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) s += line;
    return s;
}

std::vector<Fault> faults() {
    std::vector<Fault> list;
    FormatOptions noSeparators;
    noSeparators.showSeparators = false;
    list.push_back(Fault("read-only file",
                         [](const ScratchTree& t) {
                             t.write("in/a.f90", program("a"));
                             t.write("in/b.f90", program("b"), 0444);
                             t.write("in/c.f90", program("c"));
                         },
                         {}, {"a.f90", "b.f90", "c.f90"}, {"b.f90"}));
    list.push_back(Fault("unreadable file",
                         [](const ScratchTree& t) {
                             t.write("in/a.f90", program("a"), 0);
                             t.write("in/b.f90", program("b"));
                         },
                         {}, {"a.f90", "b.f90"}, {"a.f90"}));
    list.push_back(Fault("folder where no temporary file can be created",
                         [](const ScratchTree& t) {
                             t.write("in/a.f90", program("a"), 0666);
                             t.write("in/b.f90", program("b"), 0666);
                             t.setMode("in", 0555);
                         },
                         {}, {"a.f90", "b.f90"}, {"a.f90", "b.f90"}));
    // A backup root the run cannot lock, or a settings store it cannot write:
    // the slot cannot be had, so nothing is touched at all.
    list.push_back(Fault("backup folder that cannot be written",
                         [](const ScratchTree& t) {
                             t.write("in/a.f90", program("a"));
                             t.write("in/b.f90", program("b"));
                             t.setMode("backup", 0555);
                         },
                         {}, {}, {}));
    list.back().notStarted = true;
    list.push_back(Fault("settings store that cannot be written",
                         [](const ScratchTree& t) {
                             t.write("in/a.f90", program("a"));
                             t.write("home/config", "a file where the settings folder belongs");
                         },
                         {}, {}, {}));
    list.back().notStarted = true;
    list.push_back(Fault("CR inside a line, private and set-user-ID files",
                         [](const ScratchTree& t) {
                             t.write("in/a.f90", "s = \"a\rb\"\nx = 1 +\r 2\n");
                             t.write("in/b.f90", program("b"), 0600);
                             t.write("in/c.f90", program("c"), 04755);
                         },
                         {}, {"a.f90", "b.f90", "c.f90"}, {}));
    list.push_back(Fault("backup slot folder that cannot be written",
                         [](const ScratchTree& t) {
                             t.write("in/a.f90", program("a"));
                             for (int k = 1; k <= 5; ++k) t.makeFolder("backup/备份" + std::to_string(k));
                             t.setMode("backup/备份1", 0555);
                         },
                         {}, {"a.f90"}, {"a.f90"}));
    const std::pair<const char*, const char*> encodings[] = {
        {"auto", "UTF-8"}, {"utf-8", "UTF-8"}, {"gb18030", "GB18030"}, {"system", "UTF-8"}};
    for (const auto& [encoding, written] : encodings) {
        list.push_back(Fault(
            std::string("NUL and invalid bytes, encoding ") + encoding,
            [](const ScratchTree& t) {
                t.write("in/nul.f90", bytes("x = 1 \0 2\ns = 'a\0b'   ! \0\n"));
                t.write("in/bad.f90", "x = '\x80\xff'\n");
                t.write("in/bom_bad.f90", "\xef\xbb\xbfx = '\xc3\x28'\n");
                t.write("in/utf16.f90", bytes("\xff\xfex\0=\0'\0\xe4\x4e'\0"));
            },
            {"--encoding", encoding}, {"bad.f90", "bom_bad.f90", "nul.f90", "utf16.f90"},
            {"bad.f90", "bom_bad.f90", "utf16.f90"}, {}, -1, written));
    }
    list.push_back(Fault("formatted text that fails the safety check",
                         [](const ScratchTree& t) {
                             t.write("in/a.f90", program("a"));
                             t.write("in/b.f90", "x = 1\n\t \t!" + std::string(16, '*') + " !\n");
                         },
                         {}, {"a.f90", "b.f90"}, {"b.f90"}));
    list.push_back(Fault(
        "1,000,000-line file",
        [](const ScratchTree& t) {
            t.write("in/big.f90", "program big\n" + repeatLines("x = x + 1\n", 999998) + "end\n");
        },
        {}, {"big.f90"}, {}, {}, 1000000));
    list.push_back(Fault(
        "single 1 MB line",
        [](const ScratchTree& t) { t.write("in/wide.f90", "x = '" + std::string(1 << 20, 'a') + "'"); }, {},
        {"wide.f90"}, {}, {}, 1));
    list.push_back(Fault(
        "10,000 nested blocks",
        [](const ScratchTree& t) {
            t.write("in/deep.f90",
                    repeatLines("if (x) then\n", 10000) + "y = 1\n" + repeatLines("end if\n", 10000));
        },
        {}, {"deep.f90"}, {}, {}, 20001));
    list.push_back(Fault(
        "100,000 labelled DO loops without separators",
        [](const ScratchTree& t) {
            std::string text;
            for (int k = 1; k <= 100000; ++k) text += "do " + std::to_string(k) + " i = 1, 2\n";
            for (int k = 100000; k >= 1; --k) text += std::to_string(k) + " continue\n";
            t.write("in/labels.f90", text);
            t.write("in/same.f90", repeatLines("do 10 i = 1, 2\n", 100000) + "10 continue\n");
        },
        {"--no-separators"}, {"labels.f90", "same.f90"}, {}, noSeparators, 300001));
    list.push_back(Fault("symbolic links",
                         [](const ScratchTree& t) {
                             t.write("outside/target.f90", program("t"), 0640);
                             t.write("in/a.f90", program("a"));
                             t.symlink("in/link.f90", "../outside/target.f90");
                             t.symlink("in/dangling.f90", "../outside/missing.f90");
                         },
                         {}, {"a.f90", "link.f90"}, {}));
    list.push_back(Fault("names with blanks and Chinese characters",
                         [](const ScratchTree& t) {
                             t.write("in/my file.f90", program("a"));
                             t.write("in/程序 一.f90", program("b"));
                             t.write("in/ lead.f90", program("c"));
                             t.makeFolder("in/folder.f90");
                         },
                         {}, {" lead.f90", "my file.f90", "程序 一.f90"}, {}));
    const auto wildcardTree = [](const ScratchTree& t) {
        t.write("in/a.f90", program("a"));
        t.write("in/b.F90", program("b"));
        t.write("in/c.f", program("c"));
        t.write("in/d.txt", "not fortran    at all\n");
        t.write("in/e[1].f90", program("e"));
    };
    list.push_back(Fault("extension typed as *", wildcardTree, {"--ext", "*", "--form", "free"},
                         {"a.f90", "b.F90", "c.f", "d.txt", "e[1].f90"}, {}));
    list.push_back(
        Fault("extension typed as ?90", wildcardTree, {"--ext", "?90"}, {"a.f90", "b.F90", "e[1].f90"}, {}));
    list.push_back(Fault("extension typed as [1].f90", wildcardTree, {"--ext", "[1].f90"}, {}, {}));
    list.push_back(Fault("extension typed as ].f90", wildcardTree, {"--ext", "].f90"}, {"e[1].f90"}, {}));
    return list;
}

TEST(FaultInjection, EveryFaultLosesNothing) {
    if (!testing::canRun(CODEKILN_CLI)) GTEST_SKIP() << "user nobody cannot run " << CODEKILN_CLI;
    if (!testing::runsAsNobody())
        std::fprintf(stderr, "running as this user: permissions hold without dropping\n");
    for (const Fault& fault : faults()) {
        SCOPED_TRACE(fault.name);
        ScratchTree tree;
        runFault(tree, fault);
    }
}

/// A small file system that fills up halfway through the run: every file is
/// formatted whole or left as it was, and every backup is complete.
TEST(FaultInjection, DiskFullHalfwayLosesNothing) {
    if (!testing::canRun(CODEKILN_CLI)) GTEST_SKIP() << "user nobody cannot run " << CODEKILN_CLI;
    ScratchTree tree;
    tree.makeFolder("home");
    tree.makeFolder("disk");
    if (::mount("tmpfs", tree.path("disk").c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") !=
        0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << "); needs root";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{tree.path("disk")};

    // Twelve files of 16 KB; their backups on the same disk fill it.
    std::vector<std::string> names;
    for (int k = 0; k < 12; ++k) {
        const std::string name = "f" + std::to_string(10 + k) + ".f90";
        names.push_back(name);
        tree.write("disk/in/" + name, repeatLines("do i = 1, 2\nx = 1\nend do\n", 16384 / 29));
    }
    if (testing::runsAsNobody()) tree.chownAll(testing::nobodyUid(), testing::nobodyGid());
    const Snapshot before = tree.snapshot("disk");
    const testing::ProgramRun run = testing::runProgram(
        CODEKILN_CLI, {"--yes", "--backup-dir", tree.path("disk/backup"), tree.path("disk/in")},
        tree.path("home"));
    ASSERT_FALSE(run.timedOut);
    const Summary summary = parseSummary(run.out);
    ASSERT_TRUE(summary.found) << run.out << run.err;
    EXPECT_EQ(summary.names, names);
    EXPECT_FALSE(summary.failed.empty()) << "the disk never filled up";
    EXPECT_LT(summary.failed.size(), names.size()) << "nothing was formatted";
    EXPECT_EQ(run.exitCode, 1);
    verifyTree(before, tree.snapshot("disk"), summary, FormatOptions{});
}

}  // namespace
}  // namespace codekiln
