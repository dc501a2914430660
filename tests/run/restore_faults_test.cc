// A restore whose steps fail one call at a time, on a file system in
// memory: a file whose rewrite or kept text fails is left exactly as it
// is, and the other files are still put back.
#include <gtest/gtest.h>

#include "run/restore.h"
#include "run/run_batch.h"
#include "support/fake_ui.h"
#include "support/memory_file_system.h"

namespace codekiln {
namespace {

using testing::FsCall;

const std::string kMessy = "program p\ndo i = 1, 2\nx = i\nend do\nend program p\n";

TEST(RestoreFaults, AFailedStepLeavesThatFileAsItIs) {
    const struct {
        const char* label;
        bool editA;      ///< a.f90 is edited after the run, and restored with --force
        FsCall failing;  ///< fails for a.f90
    } cases[] = {
        {"the rewrite fails", false, FsCall::Restore},
        {"its current text cannot be kept", true, FsCall::WriteBackup},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        testing::MemoryFileSystem files;
        testing::MemorySettings settings;
        files.put("/src/a.f90", kMessy);
        files.put("/src/b.f90", kMessy);
        SessionState session;
        testing::FakeUi ui;
        ASSERT_EQ(runBatch(".f90", "/src", session, FormatOptions{}, files, settings, ui).failures.size(), 0u);
        const std::string formatted = files.bytes("/src/a.f90");
        ASSERT_NE(formatted, kMessy);
        if (c.editA) files.put("/src/a.f90", "edited\n");
        const std::string before = files.bytes("/src/a.f90");
        files.before = [&](FsCall call, const std::string& path) {
            if (call != c.failing || path.find("a.f90") == std::string::npos) return Status::success();
            return Status::failure(Why::CannotWrite, path, {}, "injected");
        };
        RestoreRequest request;
        request.slot = session.backupSlot;
        request.force = c.editA;
        const RestoreReport report = restoreSlot(request, files);
        ASSERT_TRUE(report.status.ok);
        ASSERT_EQ(report.items.size(), 2u);
        EXPECT_EQ(report.items[0].action, RestoreAction::LeftAlone);
        EXPECT_NE(report.items[0].reason.find("injected"), std::string::npos) << report.items[0].reason;
        EXPECT_EQ(files.bytes("/src/a.f90"), before);
        EXPECT_EQ(report.items[1].action, RestoreAction::Restored);
        EXPECT_EQ(files.bytes("/src/b.f90"), kMessy);
    }
}

}  // namespace
}  // namespace codekiln
