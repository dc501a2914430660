// codekiln-cli --json: the run as one JSON object, read back as a script
// would read it.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "engine/format/format_file.h"
#include "platform/file_system.h"
#include "run_program.h"
#include "support/temp_folder.h"

namespace codekiln {
namespace {

using testing::Result;
using testing::runProgram;
using testing::TempFolder;

const std::string kSource = "program p\r\nif (x > 1) then\r\ny = 2\r\nend if\r\nend program p\r\n";

QJsonObject parsed(const std::string& out) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line";
    return document.object();
}

std::string formatted(const std::string& text) {
    DoLabelRecord fresh;
    return formatText(text, {}, fresh).text;
}

// Every kind of file one run can meet, each with the outcome and reason code
// the report must give it, and counts that add up.
TEST(JsonReport, EachFileWithItsOutcomeAndReason) {
    testing::forgetStoredSlot();
    TempFolder home;
    const struct {
        const char* name;
        std::string bytes;
        const char* outcome;
        const char* reason;
    } files[] = {
        {"a.f90", kSource, "formatted", nullptr},
        {"b.f90", formatted(kSource), "unchanged", nullptr},
        {"c.f90", "x = 1\n\xff\xfe\n", "refused", "not-decoded"},
        {"d.f90", "x = 1\n\t \t!" + std::string(16, '*') + " !\n", "refused", "safety-check"},
    };
    for (const auto& f : files) home.write(std::string("src/") + f.name, f.bytes);
    home.write("bk/备份1/e.f90", kSource);  // a copy inside a backup folder, named as a PATH
    const Result r = runProgram(
        home, {"--json", "--encoding", "utf-8", "--backup-dir", home.path("bk"), "src", "bk/备份1/e.f90"}, {},
        false, home.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const QJsonObject report = parsed(r.out);
    EXPECT_EQ(report["end"].toString(), "completed");
    EXPECT_EQ(report["backupSlot"].toInt(), 1);
    EXPECT_EQ(report["backupFolder"].toString().toStdString(), home.path("bk") + kPathSeparator + "备份1");
    const QJsonArray entries = report["files"].toArray();
    ASSERT_EQ(entries.size(), 5) << r.out;
    for (int i = 0; i < 4; ++i) {
        const QJsonObject entry = entries[i].toObject();
        EXPECT_EQ(entry["name"].toString().toStdString(), std::string("src/") + files[i].name);
        EXPECT_EQ(entry["outcome"].toString().toStdString(), files[i].outcome) << files[i].name;
        EXPECT_EQ(entry["reason"].toString().toStdString(), files[i].reason ? files[i].reason : "")
            << files[i].name;
        EXPECT_EQ(entry.contains("message"), files[i].reason != nullptr) << files[i].name;
    }
    EXPECT_EQ(entries[4]["reason"].toString(), "in-backup-folder");
    const QJsonObject counts = report["counts"].toObject();
    EXPECT_EQ(counts["files"].toInt(), 5);
    EXPECT_EQ(counts["formatted"].toInt(), 1);
    EXPECT_EQ(counts["unchanged"].toInt(), 1);
    EXPECT_EQ(counts["refused"].toInt(), 3);
    EXPECT_EQ(home.read("src/a.f90"), formatted(kSource));
    EXPECT_EQ(home.read("bk/备份1/src/a.f90"), kSource);
}

TEST(JsonReport, RunsThatEndEarlyAndOtherModes) {
    TempFolder home;
    home.write("src/a.f90", kSource);
    const std::string src = home.path("src");
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* end;  // nullptr: no report at all
    } cases[] = {
        {{"--json", "--ext", ".for", src}, 2, "cancelled"},  // the warning, with nobody to answer it
        {{"--json", "--ext", " ", "--yes", src}, 2, "missing-extension"},
        {{"--json", "--check", src}, 2, nullptr},
        {{"--json", "--stdout", home.path("src/a.f90")}, 2, nullptr},
    };
    for (const auto& c : cases) {
        const Result r = runProgram(home, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[1] << r.err;
        if (c.end) {
            EXPECT_EQ(parsed(r.out)["end"].toString().toStdString(), c.end) << c.args[1];
        }
        if (!c.end) {
            EXPECT_EQ(r.out, "");
        }
    }
    EXPECT_EQ(home.read("src/a.f90"), kSource);
}

}  // namespace
}  // namespace codekiln
