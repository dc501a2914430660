// Undoing runs on real temporary folders: a run and its restore, files
// changed in every way after the run, slots reused, manifests damaged or
// planted, a slot from before manifests, and a restore that meets a run.
#include "run/restore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QString>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <utility>

#include "run/reason_text.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/fingerprint.h"
#include "platform/qt_platform.h"
#include "platform/run_manifest_json.h"
#include "run/run_batch.h"
#include "support/fake_ui.h"
#include "support/scratch_tree.h"

namespace codekiln {
namespace {

using testing::ScratchTree;
using testing::Snapshot;

const std::string kMessy = "program p\r\n  if (x > 1) then\r\n y = 2\r\n   end if\r\nend program p\r\n";
const std::string kOther = "subroutine s\r\n      call t\r\nend subroutine s\r\n";

struct UndoFixture {
    ScratchTree tree;
    QtPlatform platform{
        QtPlatformOptions{tree.path("backups"), tree.path("settings.ini"), {}, {}}};
    SessionState session;

    // A run over `folder` into backup slot `slot`, ended: its hold on the
    // backup root let go. The run takes the slot after the stored one.
    BatchOutcome run(const std::string& folder, int slot = 1) {
        session.backupSlot = slot - 1;
        platform.writeSetting("chuli", "benfencishu", std::to_string(slot - 1));
        testing::FakeUi ui;
        BatchOutcome outcome = runBatch(".f90", tree.path(folder), session, FormatOptions{}, platform, platform, ui);
        outcome.lock.reset();
        return outcome;
    }
    RestoreReport restore(bool force = false, bool dryRun = false, const std::string& folder = {}) {
        RestoreRequest request;
        request.slot = 1;
        request.force = force;
        request.dryRun = dryRun;
        request.folder = folder.empty() ? std::string() : tree.path(folder);
        request.jobs = testing::testJobs();
        return restoreSlot(request, platform);
    }
    std::string slot(const std::string& name) const { return "backups/备份1/" + name; }
};

// A folder as a manifest records it: canonical, separated by '/' on every
// system ("C:/work/src" on Windows).
std::string recorded(const std::string& folder) {
    return QDir::fromNativeSeparators(QString::fromStdString(folder)).toStdString();
}

std::string actions(const RestoreReport& report) {
    std::string text;
    for (const RestoreItem& item : report.items) {
        const char* what = item.action == RestoreAction::Restored          ? "restored"
                           : item.action == RestoreAction::AlreadyOriginal ? "original"
                                                                           : "left";
        text += (text.empty() ? "" : " ") + item.path + ":" + what;
    }
    return text;
}

TEST(Restore, PutsBackByteIdenticalOriginalsWithTheirPermissions) {
    UndoFixture f;
    f.tree.write("src/a.f90", kMessy, 0640);
    f.tree.write("src/b.f90", kOther, 0600);
    f.tree.write("src/c.f90", "x = '\xff\xfe'\r\n", 0644);  // cannot be decoded: failed, never restored
    // Modes as the system keeps them: Windows keeps only the read-only mark.
    const Snapshot original = f.tree.snapshot("src");
    const BatchOutcome outcome = f.run("src");
    ASSERT_TRUE(outcome.manifestError.empty()) << outcome.manifestError;
    ASSERT_NE(f.tree.read("src/a.f90"), kMessy);

    bool found = false;
    RunManifest manifest;
    ASSERT_TRUE(f.platform.readRunManifest(f.tree.path("backups/备份1"), manifest, found));
    ASSERT_TRUE(found);
    ASSERT_EQ(manifest.files.size(), 3u);
    EXPECT_EQ(manifest.files[0].path, "a.f90");
    EXPECT_EQ(manifest.files[0].original, fingerprintOf(kMessy));
    EXPECT_EQ(manifest.files[0].written, fingerprintOf(f.tree.read("src/a.f90")));
    EXPECT_EQ(manifest.files[2].end, FileEnd::Failed);
    EXPECT_FALSE(manifest.files[2].reason.empty());
    EXPECT_EQ(manifest.folder, recorded(f.tree.path("src")));
    // Digests as stored manifests hold them: a different spelling would
    // leave every recorded run impossible to undo.
    EXPECT_EQ(fingerprintOf("abc").digest, "06b05ab6733a618578af5f94892f3950");
    EXPECT_EQ(fingerprintOf("abc", HashKind::Sha256).digest,
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    const RestoreReport report = f.restore();
    ASSERT_TRUE(report.status) << englishText(report.status);
    EXPECT_EQ(actions(report), "a.f90:restored b.f90:restored");
    const Snapshot src = f.tree.snapshot("src");
    EXPECT_EQ(src.at("a.f90").bytes, kMessy);
    EXPECT_EQ(src.at("a.f90").mode, original.at("a.f90").mode);
    EXPECT_EQ(src.at("b.f90").bytes, kOther);
    EXPECT_EQ(src.at("b.f90").mode, original.at("b.f90").mode);
    // Again: nothing left to undo, nothing left alone.
    EXPECT_EQ(actions(f.restore()), "a.f90:original b.f90:original");
}

// A manifest of an older run holds SHA-256 (manifest version 1): its files
// are still put back, and what changed since is still told apart.
TEST(Restore, ReadsAnOlderRunsSha256Manifest) {
    UndoFixture f;
    f.tree.write("src/a.f90", kMessy);
    f.tree.write("src/b.f90", kOther);
    f.run("src");
    RunManifest manifest;
    bool found = false;
    ASSERT_TRUE(f.platform.readRunManifest(f.tree.path("backups/备份1"), manifest, found));
    for (ManifestFile& file : manifest.files) {
        file.original = fingerprintOf(f.tree.read(f.slot(file.path)), HashKind::Sha256);
        file.written = fingerprintOf(f.tree.read("src/" + file.path), HashKind::Sha256);
    }
    std::string json = manifestToJson(manifest);
    const std::string version = "\"version\": 2";
    ASSERT_NE(json.find(version), std::string::npos);
    json.replace(json.find(version), version.size(), "\"version\": 1");
    ASSERT_EQ(json.find("xxh3"), std::string::npos);
    f.tree.write(f.slot(".codekiln-run.json"), json);
    f.tree.write("src/b.f90", "edited\n");

    const RestoreReport report = f.restore();
    ASSERT_TRUE(report.status) << englishText(report.status);
    EXPECT_EQ(actions(report), "a.f90:restored b.f90:left");
    EXPECT_EQ(f.tree.read("src/a.f90"), kMessy);
    EXPECT_EQ(f.tree.read("src/b.f90"), "edited\n");
}

TEST(Restore, LeavesAloneWhatChangedSinceTheRunUnlessForced) {
    const struct {
        const char* what;
        std::function<void(const UndoFixture&)> change;
        RestoreAction plain, forced;
        std::string keptText;  // kept in the slot by --force
        bool makesLink = false;
    } cases[] = {
        {"edited", [](const UndoFixture& f) { f.tree.write("src/a.f90", "edited\n"); },
         RestoreAction::LeftAlone, RestoreAction::Restored, "edited\n"},
        {"deleted", [](const UndoFixture& f) { f.tree.remove("src/a.f90"); }, RestoreAction::LeftAlone,
         RestoreAction::Restored, ""},
        {"link out of the folder",
         [](const UndoFixture& f) {
             f.tree.write("outside/a.f90", "theirs\n");
             f.tree.remove("src/a.f90");
             f.tree.symlink("src/a.f90", f.tree.path("outside/a.f90"));
         },
         RestoreAction::LeftAlone, RestoreAction::LeftAlone, "", true},
        {"link to another file of the folder",
         [](const UndoFixture& f) {
             f.tree.write("src/notes.txt", "notes\n");
             f.tree.remove("src/a.f90");
             f.tree.symlink("src/a.f90", f.tree.path("src/notes.txt"));
         },
         RestoreAction::LeftAlone, RestoreAction::LeftAlone, "", true},
        {"now a folder",
         [](const UndoFixture& f) {
             f.tree.remove("src/a.f90");
             f.tree.makeFolder("src/a.f90");
         },
         RestoreAction::LeftAlone, RestoreAction::LeftAlone, ""},
        {"link planted in the slot",
         [](const UndoFixture& f) {
             f.tree.write("elsewhere/copy", kMessy);
             f.tree.remove(f.slot("a.f90"));
             f.tree.symlink(f.slot("a.f90"), f.tree.path("elsewhere/copy"));
         },
         RestoreAction::LeftAlone, RestoreAction::LeftAlone, "", true},
        {"backup copy replaced", [](const UndoFixture& f) { f.tree.write(f.slot("a.f90"), kOther); },
         RestoreAction::LeftAlone, RestoreAction::LeftAlone, ""},
    };
    for (const auto& c : cases) {
        UndoFixture f;
        if (c.makesLink && !f.tree.canMakeLinks()) continue;  // no links on this system
        f.tree.write("src/a.f90", kMessy);
        f.run("src");
        c.change(f);
        const Snapshot before = f.tree.snapshot();

        for (const bool force : {false, true}) {
            const RestoreReport dry = f.restore(force, true);
            ASSERT_TRUE(dry.status) << c.what;
            ASSERT_EQ(dry.items.size(), 1u) << c.what;
            EXPECT_EQ(dry.items[0].action, force ? c.forced : c.plain) << c.what;
            EXPECT_EQ(f.tree.snapshot(), before) << c.what << ": a dry run changed something";
        }
        const RestoreReport plain = f.restore();
        EXPECT_EQ(plain.items[0].action, c.plain) << c.what;
        EXPECT_FALSE(plain.items[0].reason.empty()) << c.what;
        EXPECT_EQ(f.tree.snapshot(), before) << c.what << ": left alone, yet changed";

        const RestoreReport forced = f.restore(true);
        EXPECT_EQ(forced.items[0].action, c.forced) << c.what;
        if (c.forced == RestoreAction::Restored) {
            EXPECT_EQ(f.tree.read("src/a.f90"), kMessy) << c.what;
            EXPECT_EQ(f.tree.read(f.slot("a.f90.before-restore")), c.keptText) << c.what;
        } else {
            EXPECT_EQ(f.tree.snapshot(), before) << c.what;
        }
    }
}

// A second name of a file the run formatted is recorded without fingerprints;
// the manifest must still be accepted and the file restored.
TEST(Restore, ASecondNameOfAFormattedFileKeepsTheRunRestorable) {
    UndoFixture f;
    if (!f.tree.canMakeLinks()) GTEST_SKIP() << "no links on this system";
    f.tree.write("src/a.f90", kMessy);
    f.tree.symlink("src/b.f90", f.tree.path("src/a.f90"));
    f.run("src");
    ASSERT_NE(f.tree.read("src/a.f90"), kMessy);
    const RestoreReport report = f.restore();
    ASSERT_TRUE(report.status) << englishText(report.status);
    EXPECT_EQ(actions(report), "a.f90:restored");
    EXPECT_EQ(f.tree.read("src/a.f90"), kMessy);
}

#ifndef _WIN32
// The undo writes the original back into the file as it stands: a second
// hard link elsewhere sees it too, and the owner, group and mode stay.
TEST(Restore, PutsTheOriginalBackInPlaceForEveryLinkAndOwner) {
    UndoFixture f;
    f.tree.write("src/a.f90", kMessy, 0640);
    f.tree.write("elsewhere/.keep", "");
    ASSERT_EQ(::link(f.tree.path("src/a.f90").c_str(), f.tree.path("elsewhere/a.f90").c_str()), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(f.tree.path("src/a.f90").c_str(), 4242, 4243), 0);
    }
    f.run("src");
    ASSERT_NE(f.tree.read("elsewhere/a.f90"), kMessy);
    struct stat before {};
    ASSERT_EQ(::stat(f.tree.path("src/a.f90").c_str(), &before), 0);

    const RestoreReport report = f.restore();
    ASSERT_TRUE(report.status) << englishText(report.status);
    EXPECT_EQ(actions(report), "a.f90:restored");
    EXPECT_EQ(f.tree.read("src/a.f90"), kMessy);
    EXPECT_EQ(f.tree.read("elsewhere/a.f90"), kMessy);
    struct stat after {};
    ASSERT_EQ(::stat(f.tree.path("src/a.f90").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(after.st_uid, 4242u);
        EXPECT_EQ(after.st_gid, 4243u);
    }
}
#endif

// The last run is the newest one recorded in this backup root, whatever slot
// the settings store (shared with other roots) names.
TEST(Restore, TheLastRunIsTheNewestManifestOfTheRoot) {
    UndoFixture f;
    EXPECT_EQ(lastRecordedSlot(f.platform), 0);
    f.tree.write("src/a.f90", kMessy);
    f.run("src", 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the runs' start times differ
    f.tree.write("src/a.f90", kOther);
    f.run("src", 2);
    f.platform.writeSetting("chuli", "benfencishu", "4");
    EXPECT_EQ(lastRecordedSlot(f.platform), 2);
}

TEST(Restore, AReusedSlotRestoresTheLaterRunOnly) {
    UndoFixture f;
    f.tree.write("first/a.f90", kMessy);
    f.tree.write("first/only.f90", kMessy);
    f.tree.write("second/a.f90", kOther);
    f.run("first");
    const Snapshot first = f.tree.snapshot("first");
    f.run("second");                                        // the same slot again
    EXPECT_FALSE(f.restore(false, false, "first").status);  // not the folder the manifest names
    // The manifest's folder however it is spelt: native separators, a
    // trailing one, and on Windows another letter case.
    RestoreRequest spelt;
    spelt.slot = 1;
    spelt.dryRun = true;
    spelt.folder = QDir::toNativeSeparators(QString::fromStdString(f.tree.path("second/"))).toStdString();
#ifdef _WIN32
    for (char& ch : spelt.folder) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
#endif
    const RestoreReport dry = restoreSlot(spelt, f.platform);
    EXPECT_TRUE(dry.status) << spelt.folder << ": " << englishText(dry.status);
    const RestoreReport report = f.restore();
    ASSERT_TRUE(report.status) << englishText(report.status);
    EXPECT_EQ(report.folder, recorded(f.tree.path("second")));
    EXPECT_EQ(actions(report), "a.f90:restored");
    EXPECT_EQ(f.tree.read("second/a.f90"), kOther);
    EXPECT_EQ(f.tree.snapshot("first"), first);

    // A later run that finds no file leaves the slot's manifest alone.
    f.tree.makeFolder("empty");
    f.run("empty");
    EXPECT_EQ(f.restore().folder, recorded(f.tree.path("second")));
}

TEST(Restore, RefusesADamagedOrPlantedManifestAndChangesNothing) {
    const struct {
        const char* what;
        std::string from, to;  // replaced in the manifest's text; `from` empty: the whole text
        std::string message;
    } cases[] = {
        {"not JSON", "", "{\"kind\": ", "not a run manifest"},
        {"another kind", "codekiln run manifest", "shopping list", "not a run manifest"},
        {"no hash", "\"xxh3-128\"", "\"sha1\"", "damaged run manifest"},
        {"a later version", "\"version\": 2", "\"version\": 3", "version this program does not know"},
        {"unknown layout", "\"style\": \"classic\"", "\"style\": \"Modern\"", "\"style\" is not classic"},
        {"indent out of range", "\"indent\": 4", "\"indent\": 9", "\"indent\" is not a whole number"},
        {"parent path", "\"path\": \"a.f90\"", "\"path\": \"../a.f90\"", "not a file inside"},
        {"absolute elsewhere", "\"path\": \"a.f90\"", "\"path\": \"/etc/a.f90\"", "not a file inside"},
        {"relative place", "\"path\": \"a.f90\"", "\"path\": \"a.f90\", \"place\": \"a.f90\"",
         "not an absolute path"},
        {"place with a parent step", "\"path\": \"a.f90\"", "\"path\": \"a.f90\", \"place\": \"/x/../a.f90\"",
         "not an absolute path"},
        {"NUL in a name's bytes", "\"path\": \"a.f90\"", "\"path\": \"a.f90\", \"pathBytes\": \"612e66393000\"",
         "damaged run manifest"},
        {"bytes not hex", "\"path\": \"a.f90\"", "\"path\": \"a.f90\", \"pathBytes\": \"6G\"",
         "damaged run manifest"},
        // The folder's root without its separator: relative, or on Windows
        // relative to the drive's current folder ("C:work").
        {"relative folder", "\"folder\": \"{root}", "\"folder\": \"{root}", "no absolute folder"},
        {"link as manifest", "", "", "not a plain file"},
    };
    for (const auto& c : cases) {
        UndoFixture f;
        if (c.message == "not a plain file" && !f.tree.canMakeLinks()) continue;  // no links on this system
        f.tree.write("src/a.f90", kMessy);
        f.run("src");
        const std::string manifest = f.slot(".codekiln-run.json");
        std::string text = f.tree.read(manifest);
        const std::string folder = recorded(f.tree.root());
        const std::string root = folder.substr(0, folder.find('/') + 1);
        std::string from = c.from, to = c.to;
        if (from.find("{root}") != std::string::npos) {
            from.replace(from.find("{root}"), 6, root);
            to.replace(to.find("{root}"), 6, root.substr(0, root.size() - 1));
        }
        if (c.message == "not a plain file") {
            f.tree.write("elsewhere.json", text);
            f.tree.remove(manifest);
            f.tree.symlink(manifest, f.tree.path("elsewhere.json"));
        } else if (from.empty()) {
            f.tree.write(manifest, to);
        } else {
            ASSERT_NE(text.find(from), std::string::npos) << c.what;
            text.replace(text.find(from), from.size(), to);
            f.tree.write(manifest, text);
        }
        const Snapshot before = f.tree.snapshot();
        const RestoreReport report = f.restore(true);
        EXPECT_FALSE(report.status) << c.what;
        EXPECT_NE(englishText(report.status).find(c.message), std::string::npos)
            << c.what << ": " << englishText(report.status);
        EXPECT_EQ(f.tree.snapshot(), before) << c.what;
        EXPECT_EQ(listBackupSlots(f.platform)[0].state, SlotListing::State::Damaged) << c.what;
    }
}

TEST(Restore, ASlotWithoutManifestNeedsForceAndAFolder) {
    UndoFixture f;
    f.tree.write("src/a.f90", kMessy);
    f.tree.write("src/b.f90", kOther);
    f.run("src");
    f.tree.remove(f.slot(".codekiln-run.json"));
    f.tree.write(f.slot("stray.f90"), kOther);  // from a run over some other folder
    const std::string formatted = f.tree.read("src/a.f90");

    EXPECT_FALSE(f.restore().status);
    EXPECT_FALSE(f.restore(true).status);
    EXPECT_FALSE(f.restore(false, false, "src").status);
    EXPECT_EQ(listBackupSlots(f.platform)[0].state, SlotListing::State::NoManifest);

    const RestoreReport report = f.restore(true, false, "src");
    ASSERT_TRUE(report.status) << englishText(report.status);
    EXPECT_EQ(actions(report), "a.f90:restored b.f90:restored stray.f90:left");
    EXPECT_EQ(f.tree.read("src/a.f90"), kMessy);
    EXPECT_EQ(f.tree.read(f.slot("a.f90.before-restore")), formatted);
    EXPECT_FALSE(f.tree.snapshot("src").count("stray.f90"));
}

// A run over a tree killed before it wrote its manifest: its copies lie in
// the slot's subfolders, and the top level may hold none.
TEST(Restore, ASlotWithoutManifestRestoresItsSubfoldersToo) {
    UndoFixture f;
    const std::vector<RunFile> files = {{f.tree.path("src/a.f90"), "a.f90"},
                                        {f.tree.path("src/sub/b.f90"), "sub/b.f90"},
                                        {f.tree.path("src/sub/deeper/c.f90"), "sub/deeper/c.f90"}};
    for (const RunFile& file : files) f.tree.write("src/" + file.name, kMessy);
    testing::FakeUi ui;
    runFiles(files, f.tree.path("src"), ".f90", f.session, FormatOptions{}, PipelineOptions{}, f.platform, f.platform, ui);
    f.tree.remove(f.slot(".codekiln-run.json"));
    f.tree.remove(f.slot("a.f90"));
    ASSERT_NE(f.tree.read("src/sub/deeper/c.f90"), kMessy);
    EXPECT_EQ(listBackupSlots(f.platform)[0].state, SlotListing::State::NoManifest);

    const RestoreReport report = f.restore(true, false, "src");
    ASSERT_TRUE(report.status) << englishText(report.status);
    EXPECT_EQ(actions(report), "sub/b.f90:restored sub/deeper/c.f90:restored");
    EXPECT_EQ(f.tree.read("src/sub/b.f90") + f.tree.read("src/sub/deeper/c.f90"), kMessy + kMessy);

    // A slot folder with no copy at all is empty, and restoring it is no success.
    for (const char* copy : {"sub/b.f90", "sub/b.f90.before-restore", "sub/deeper/c.f90",
                             "sub/deeper/c.f90.before-restore"})
        f.tree.remove(f.slot(copy));
    EXPECT_EQ(listBackupSlots(f.platform)[0].state, SlotListing::State::Empty);
    EXPECT_FALSE(f.restore(true, false, "src").status);
}

TEST(Restore, StopsCleanlyWhileARunHoldsTheBackupRoot) {
    UndoFixture f;
    f.tree.write("src/a.f90", kMessy);
    f.run("src");
    const Snapshot before = f.tree.snapshot("src");
    QtPlatform other{QtPlatformOptions{f.tree.path("backups"), {}, {}, {}}};
    std::unique_ptr<RootLock> held;
    ASSERT_TRUE(other.lockBackupRoot(0, held));

    RestoreRequest request;
    request.slot = 1;
    request.lockWaitMilliseconds = 200;
    const RestoreReport blocked = restoreSlot(request, f.platform);
    EXPECT_FALSE(blocked.status);
    EXPECT_NE(englishText(blocked.status).find("another run"), std::string::npos)
        << englishText(blocked.status);
    EXPECT_EQ(f.tree.snapshot("src"), before);

    held.reset();
    EXPECT_EQ(actions(restoreSlot(request, f.platform)), "a.f90:restored");
}

// A platform on which another program saves src/a.f90 once, right after
// the restore has looked at it: after reading it, or after finding it gone.
class EditedPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    std::function<void()> edit;
    std::string watched = "/src/a.f90";

    Status readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) override {
        const Status status = QtPlatform::readFileOnce(path, bytes, identity);
        if (isWatched(path)) fire();
        return status;
    }
    PathKind pathKind(const std::string& path) override {
        const PathKind kind = QtPlatform::pathKind(path);
        if (isWatched(path) && kind == PathKind::Missing) fire();
        return kind;
    }

private:
    // By its end: the restore spells the folder as the manifest does.
    bool isWatched(const std::string& path) const {
        const std::string p = recorded(path);
        return p.size() >= watched.size() && p.compare(p.size() - watched.size(), watched.size(), watched) == 0;
    }
    void fire() {
        if (edit) std::exchange(edit, nullptr)();
    }
};

TEST(Restore, AnEditDuringTheRestoreIsNeverOverwritten) {
    const struct {
        const char* what;
        bool deleteFirst;
        std::function<void(const ScratchTree&)> save;
        std::string saved;
    } cases[] = {
        {"saved in place", false, [](const ScratchTree& t) { t.write("src/a.f90", "edited in place\n"); },
         "edited in place\n"},
        {"saved atomically", false,
         [](const ScratchTree& t) {
             t.write("src/.a.f90.swp", "saved atomically\n");
#ifdef _WIN32
             t.remove("src/a.f90");  // a rename there replaces nothing
#endif
             std::rename(t.path("src/.a.f90.swp").c_str(), t.path("src/a.f90").c_str());
         },
         "saved atomically\n"},
        {"made anew after a delete", true, [](const ScratchTree& t) { t.write("src/a.f90", "made anew\n"); },
         "made anew\n"},
    };
    for (const auto& c : cases) {
        for (const bool force : {false, true}) {
            if (c.deleteFirst && !force) continue;  // a deleted file is only made again with --force
            ScratchTree tree;
            EditedPlatform platform{
                QtPlatformOptions{tree.path("backups"), tree.path("settings.ini"), {}, {}}};
            tree.write("src/a.f90", kMessy);
            SessionState session;
            testing::FakeUi ui;
            runBatch(".f90", tree.path("src"), session, FormatOptions{}, platform, platform, ui).lock.reset();
            if (c.deleteFirst) tree.remove("src/a.f90");
            platform.edit = [&] { c.save(tree); };

            RestoreRequest request;
            request.slot = 1;
            request.force = force;
            const RestoreReport report = restoreSlot(request, platform);
            ASSERT_TRUE(report.status) << c.what;
            ASSERT_EQ(report.items.size(), 1u) << c.what;
            EXPECT_EQ(report.items[0].action, RestoreAction::LeftAlone) << c.what << force;
            EXPECT_NE(report.items[0].reason.find("during the restore"), std::string::npos)
                << c.what << ": " << report.items[0].reason;
            EXPECT_EQ(tree.read("src/a.f90"), c.saved) << c.what << force;
        }
    }
}

// A platform that notes, whenever a run writes a file of its folder,
// whether slot 1 holds a manifest at that moment.
class WatchedPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    Status replaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) override {
        watch(path);
        return QtPlatform::replaceFile(path, bytes, read);
    }
    void replaceFiles(std::vector<BatchReplacement>& replacements) override {
        for (const BatchReplacement& r : replacements) watch(r.path);
        QtPlatform::replaceFiles(replacements);
    }
    void watch(const std::string& path) {
        if (path.find(std::string("/src") + kPathSeparator) != std::string::npos) {
            ++rewrites;
            RunManifest manifest;
            bool found = false;
            if (readRunManifest(backupRoot() + "/备份1", manifest, found) && found) {
                // Only this run's own, marked as not finished and naming no file.
                foreignManifestSeen |= manifest.finished() || !manifest.files.empty() ||
                                       manifest.folder.find("/src") == std::string::npos;
            }
        }
    }
    int rewrites = 0;
    bool foreignManifestSeen = false;
};

TEST(Restore, ARunInProgressHoldsOnlyItsOwnUnfinishedManifest) {
    ScratchTree tree;
    tree.write("old/a.f90", kOther);
    tree.write("src/a.f90", kMessy);
    WatchedPlatform platform{
        QtPlatformOptions{tree.path("backups"), tree.path("settings.ini"), {}, {}}};
    testing::FakeUi ui;
    SessionState session;
    runBatch(".f90", tree.path("old"), session, FormatOptions{}, platform, platform, ui);
    platform.foreignManifestSeen = false;
    platform.writeSetting("chuli", "benfencishu", "5");  // the next run wraps round to slot 1
    runBatch(".f90", tree.path("src"), session, FormatOptions{}, platform, platform, ui);
    ASSERT_EQ(platform.rewrites, 1);  // the watch saw the rewrite
    // Killed while writing, the run would leave neither the old run's
    // manifest (whose copies it is replacing) nor one naming files early.
    EXPECT_FALSE(platform.foreignManifestSeen);
    EXPECT_TRUE(tree.snapshot("backups/备份1").count(".codekiln-run.json"));
}

}  // namespace
}  // namespace codekiln
