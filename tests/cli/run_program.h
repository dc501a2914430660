// Running the built codekiln-cli on temporary folders, each run with its own
// home and settings folder.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace codekiln::testing {

constexpr unsigned kNobody = 65534;

struct Result {
    int exitCode = -1;
    std::string out, err;
};

// On Windows the settings store is the registry, which every run shares: a
// test that expects the runs' slots to start at 1 forgets the stored one
// first. Elsewhere each run's home holds its own store.
inline void forgetStoredSlot() {
#ifdef _WIN32
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "codekiln", "codekiln").remove("chuli");
#endif
}

// Runs the built program with `home` as its home and settings folder and
// `input` on a standard input that is not a terminal; `asNobody` (for root,
// whom permissions don't stop) runs it as user nobody; `workingFolder` is its
// current folder when given.
inline Result runProgram(const TempFolder& home, const std::vector<std::string>& arguments,
                         const std::string& input = {}, bool asNobody = false,
                         const std::string& workingFolder = {}) {
    QProcess process;
    if (!workingFolder.empty()) process.setWorkingDirectory(QString::fromStdString(workingFolder));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home.path()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(home.path("config")));
    process.setProcessEnvironment(env);
    QStringList args;
    if (asNobody)
        args << "--reuid=65534"
             << "--regid=65534"
             << "--clear-groups" << CODEKILN_CLI;
    for (const std::string& a : arguments) args << QString::fromStdString(a);
    process.start(asNobody ? "setpriv" : CODEKILN_CLI, args);
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

}  // namespace codekiln::testing
