// A file that disappears while a run is under way, between the listing and
// its turn, or between its backup and its reading, is reported and not
// brought back; the other files are formatted as usual.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/fake_ui.h"
#include "run/run_batch.h"
#include "engine/format/format_file.h"
#include "platform/paths.h"
#include "platform/qt_platform.h"
#include "support/scratch_tree.h"

namespace codekiln {
namespace {

/// The real platform, with a hook run after a chosen call (after the
/// backup, with the path of the file read).
class HookedPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    std::function<void()> afterListing = [] {};
    std::function<void(const std::string& to)> afterCopy = [](const std::string&) {};

    Status listFiles(const std::string& folder, const std::string& extension,
                     std::vector<std::string>& names) override {
        Status status = QtPlatform::listFiles(folder, extension, names);
        afterListing();
        return status;
    }
    Status writeBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) override {
        Status status = QtPlatform::writeBackup(to, bytes, of);
        afterCopy(to);
        return status;
    }
    void writeBackups(std::vector<BatchBackup>& backups) override {
        QtPlatform::writeBackups(backups);
        for (const BatchBackup& b : backups) afterCopy(b.to);
    }
};

const std::string kSource = "program p\ndo i = 1, 2\nx = '    '\nend do\nend program p\n";

TEST(VanishingFile, IsReportedAndNotBroughtBack) {
    struct Row {
        const char* when;
        bool afterListing;  ///< else right after its backup copy
    };
    for (const Row row :
         {Row{"between listing and formatting", true}, Row{"between backup and reading", false}}) {
        SCOPED_TRACE(row.when);
        testing::ScratchTree tree;
        for (const char* name : {"a.f90", "b.f90", "c.f90"}) tree.write(std::string("in/") + name, kSource);
        QtPlatformOptions options;
        options.backupRoot = tree.path("backup");
        options.settingsFile = tree.path("settings.ini");
        HookedPlatform platform(options);
        if (row.afterListing) {
            platform.afterListing = [&] { tree.remove("in/b.f90"); };
        } else {
            // The run joins with its own separator: compare names, not paths.
            platform.afterCopy = [&](const std::string& to) {
                if (baseNameOf(to) == "b.f90") tree.remove("in/b.f90");
            };
        }
        SessionState session;
        testing::FakeUi ui;
        const BatchOutcome outcome = runBatch(".f90", tree.path("in"), session, FormatOptions{}, platform, platform, ui, testing::testJobs());

        ASSERT_EQ(outcome.failures.size(), 1u);
        EXPECT_EQ(outcome.failures[0].name, "b.f90");
        EXPECT_NE(outcome.message.find("分别为,a.f90,b.f90,c.f90，"), std::string::npos) << outcome.message;
        EXPECT_NE(outcome.message.find("以下文件未能格式化，原文件保持不变：b.f90"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(tree.path("in/b.f90")));
        DoLabelRecord fresh;
        const std::string expected = formatText(kSource, FormatOptions{}, fresh).text;
        EXPECT_EQ(tree.read("in/a.f90"), expected);
        EXPECT_EQ(tree.read("in/c.f90"), expected);
    }
}

}  // namespace
}  // namespace codekiln
