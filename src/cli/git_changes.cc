// Every question goes to git in the file's own folder, with the file's
// name as a literal pathspec (a name with "*" in it names that file only),
// and git's answers are taken from its exit code and -z lists, never from
// names it would quote.
#include "cli/git_changes.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <map>
#include <memory>
#include <set>

#include "platform/file_names.h"

namespace codekiln {

namespace {

constexpr int kGitTimeoutMs = 60000;

struct GitAnswer {
    bool ran = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

GitAnswer git(const QString& folder, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProgram(QStringLiteral("git"));
    process.setArguments(QStringList{"--literal-pathspecs", "--no-pager"} + arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    GitAnswer answer;
    if (!process.waitForStarted(kGitTimeoutMs)) return answer;
    if (!process.waitForFinished(kGitTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return answer;
    }
    answer.ran = process.exitStatus() == QProcess::NormalExit;
    answer.exitCode = process.exitCode();
    answer.out = process.readAllStandardOutput();
    answer.err = process.readAllStandardError();
    return answer;
}

std::string firstLine(const QByteArray& text) {
    const QByteArray line = text.trimmed();
    return line.left(line.indexOf('\n')).toStdString();
}

Status gitFailure(const std::string& what, const GitAnswer& answer) {
    if (!answer.ran) return Status::failure(Why::GitNotRun, what);
    const std::string said = firstLine(answer.err);
    return said.empty() ? Status::failure(Why::GitFailed, what)
                        : Status::failure(Why::GitSaid, what, {}, said);
}

// The NUL-separated names of a -z list.
std::set<QByteArray> names(const QByteArray& list) {
    std::set<QByteArray> found;
    for (const QByteArray& name : list.split('\0'))
        if (!name.isEmpty()) found.insert(name);
    return found;
}

// What git says of one folder: the commit the revision names there, the
// names it tracks and those that differ from that commit.
struct FolderState {
    QString commit;
    std::set<QByteArray> tracked;
    std::set<QByteArray> changed;
};

Status folderState(const QString& folder, const std::string& revision, FolderState& state) {
    const std::string named = escapedName(folder.toStdString());
    const GitAnswer inside = git(folder, {"rev-parse", "--is-inside-work-tree"});
    if (!inside.ran || inside.exitCode != 0 || inside.out.trimmed() != "true") {
        if (!inside.ran) return gitFailure(named, inside);
        return Status::failure(Why::NotInGitTree, named);
    }
    const GitAnswer commit =
        git(folder, {"rev-parse", "--verify", "--quiet", "--end-of-options",
                     QString::fromStdString(revision) + QStringLiteral("^{commit}")});
    if (!commit.ran) return gitFailure(named, commit);
    if (commit.exitCode != 0) return Status::failure(Why::NotACommit, named, revision);
    state.commit = QString::fromLatin1(commit.out.trimmed());
    const GitAnswer tracked = git(folder, {"ls-files", "-z", "--", "."});
    if (!tracked.ran || tracked.exitCode != 0) return gitFailure(named, tracked);
    state.tracked = names(tracked.out);
    const GitAnswer changed = git(folder, {"diff", "--name-only", "--relative", "--no-renames", "-z",
                                           state.commit, "--", "."});
    if (!changed.ran || changed.exitCode != 0) return gitFailure(named, changed);
    state.changed = names(changed.out);
    return Status::success();
}

QString folderOf(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}

}  // namespace

std::vector<LineRange> changedRanges(const std::string& diff) {
    std::vector<LineRange> ranges;
    std::size_t at = 0;
    while (at < diff.size()) {
        const std::size_t end = std::min(diff.find('\n', at), diff.size());
        const std::string line = diff.substr(at, end - at);
        at = end + 1;
        if (line.compare(0, 4, "@@ -") != 0) continue;
        const std::size_t plus = line.find(" +");
        if (plus == std::string::npos) continue;
        std::size_t pos = plus + 2;
        const auto number = [&](std::size_t& value) {
            const std::size_t from = pos;
            value = 0;
            while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9')
                value = value * 10 + static_cast<std::size_t>(line[pos++] - '0');
            return pos > from;
        };
        std::size_t first = 0;
        std::size_t count = 1;
        if (!number(first)) continue;
        if (pos < line.size() && line[pos] == ',') {
            ++pos;
            if (!number(count)) continue;
        }
        if (count > 0) ranges.push_back({first, first + count - 1});
    }
    return ranges;
}

Status limitToChangedLines(std::vector<RunFile>& files, const std::vector<std::string>& paths,
                           const std::string& revision) {
    std::map<QString, FolderState> folders;
    const auto stateOf = [&](const QString& folder, Status& status) -> const FolderState* {
        auto found = folders.find(folder);
        if (found != folders.end()) return &found->second;
        FolderState state;
        status = folderState(folder, revision, state);
        if (!status) return nullptr;
        return &folders.emplace(folder, std::move(state)).first->second;
    };
    Status status;
    for (const std::string& path : paths)
        if (!stateOf(folderOf(path), status)) return status;
    for (RunFile& file : files) {
        // git would be asked about a name Qt had read otherwise.
        if (!isUtf8Name(file.path)) return Status::failure(Why::NotUtf8Name, escapedName(file.path));
        const QFileInfo info(QString::fromStdString(file.path));
        const QString folder = info.absolutePath();
        const FolderState* state = stateOf(folder, status);
        if (!state) return status;
        const QByteArray name = info.fileName().toUtf8();
        if (state->tracked.count(name) == 0) continue;  // untracked: formatted whole
        std::vector<LineRange> ranges;
        if (state->changed.count(name) != 0) {
            const GitAnswer diff = git(folder, {"diff", "--no-color", "--no-ext-diff", "--no-textconv",
                                                "--no-renames", "-U0", state->commit, "--", info.fileName()});
            if (!diff.ran || diff.exitCode != 0) return gitFailure(escapedName(file.path), diff);
            ranges = changedRanges(diff.out.toStdString());
        }
        file.keep = [ranges](const std::string& original, const std::string& formatted) {
            return applyInRanges(original, formatted, ranges);
        };
    }
    return Status::success();
}

}  // namespace codekiln
