// Reading .codekiln.toml with toml++. Each key is one row of kKeys: its
// name and how its value lands in the options; a new key is one more row.
#include "cli/project_config.h"

#include <toml++/toml.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/text_codec.h"

namespace codekiln {

namespace {

// Each setter returns what is wrong with the value, or "" when it was taken.
using Setter = std::string (*)(const toml::node& value, CliOptions& options);

std::string setBool(const toml::node& value, bool& target) {
    if (!value.is_boolean()) return "expected true or false";
    target = value.as_boolean()->get();
    return {};
}

std::string setString(const toml::node& value, std::string& target) {
    if (!value.is_string()) return "expected a string";
    target = value.as_string()->get();
    return {};
}

std::string setStrings(const toml::node& value, std::vector<std::string>& target) {
    const toml::array* list = value.as_array();
    if (list == nullptr) return "expected a list of strings";
    std::vector<std::string> strings;
    for (const toml::node& item : *list) {
        if (!item.is_string()) return "expected a list of strings";
        strings.push_back(item.as_string()->get());
    }
    target = std::move(strings);
    return {};
}

struct Key {
    const char* name;
    Setter set;
};

const Key kKeys[] = {
    {"extension", [](const toml::node& v, CliOptions& o) { return setString(v, o.extensionText); }},
    {"remove-blank-lines",
     [](const toml::node& v, CliOptions& o) { return setBool(v, o.format.removeBlankLines); }},
    {"indent-else", [](const toml::node& v, CliOptions& o) { return setBool(v, o.format.indentElse); }},
    {"separators", [](const toml::node& v, CliOptions& o) { return setBool(v, o.format.showSeparators); }},
    {"form",
     [](const toml::node& v, CliOptions& o) -> std::string {
         std::string name;
         if (std::string wrong = setString(v, name); !wrong.empty()) return wrong;
         if (!parseSourceForm(name, o.format.form)) return "expected fixed, free or auto";
         return {};
     }},
    {"style",
     [](const toml::node& v, CliOptions& o) -> std::string {
         std::string name;
         if (std::string wrong = setString(v, name); !wrong.empty()) return wrong;
         if (!parseLayoutStyle(name, o.format.style)) return "expected classic or modern";
         return {};
     }},
    {"indent",
     [](const toml::node& v, CliOptions& o) -> std::string {
         if (!v.is_integer()) return "expected a whole number from 1 to 8";
         const std::int64_t width = v.as_integer()->get();
         if (width < kMinIndentWidth || width > kMaxIndentWidth) return "expected a whole number from 1 to 8";
         o.format.indentWidth = static_cast<int>(width);
         return {};
     }},
    {"encoding",
     [](const toml::node& v, CliOptions& o) -> std::string {
         std::string name;
         if (std::string wrong = setString(v, name); !wrong.empty()) return wrong;
         if (!parseEncodingChoice(name, o.encoding)) return "expected auto, utf-8, gb18030, latin-1 or system";
         return {};
     }},
    {"recursive", [](const toml::node& v, CliOptions& o) { return setBool(v, o.recursive); }},
    {"until-stable", [](const toml::node& v, CliOptions& o) { return setBool(v, o.untilStable); }},
    {"exclude", [](const toml::node& v, CliOptions& o) { return setStrings(v, o.excludes); }},
    {"jobs",
     [](const toml::node& v, CliOptions& o) -> std::string {
         const std::string expected = "expected a whole number from 1 to " + std::to_string(kMaxJobs);
         if (!v.is_integer()) return expected;
         const std::int64_t jobs = v.as_integer()->get();
         if (jobs < 1 || jobs > kMaxJobs) return expected;
         o.jobs = static_cast<int>(jobs);
         return {};
     }},
};

std::string where(const std::string& path, const toml::source_region& region) {
    return path + ":" + std::to_string(region.begin.line);
}

}  // namespace

std::string findProjectConfig(const std::string& folder) {
    QDir dir(QFileInfo(QString::fromStdString(folder)).absoluteFilePath());
    for (;;) {
        const QString candidate = dir.filePath(QString::fromLatin1(kProjectConfigName));
        // Anything under the name counts, a dangling symlink or a FIFO too: such a
        // settings file is reported, never silently passed over.
        const QFileInfo found(candidate);
        if (found.exists() || found.isSymLink()) return QDir::cleanPath(candidate).toStdString();
        if (QFileInfo::exists(dir.filePath(QStringLiteral(".git")))) return {};
        if (!dir.cdUp()) return {};
    }
}

Status applyProjectConfig(const std::string& path, CliOptions& options) {
    QFile file(QString::fromStdString(path));
    // Only a regular file is opened: a FIFO would block the open, a device
    // would never end.
    if (!QFileInfo(file).isFile())
        return Status::failure(Why::SettingsFileUnreadable, path, {}, "not a regular file");
    if (!file.open(QIODevice::ReadOnly)) {
        return Status::failure(Why::SettingsFileUnreadable, path, {}, file.errorString().toStdString());
    }
    const std::string text = file.readAll().toStdString();
    toml::table table;
    try {
        table = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        return Status::failure(Why::SettingsSyntax, where(path, e.source()), {},
                               std::string(e.description()));
    }

    CliOptions read = options;
    for (const auto& [key, value] : table) {
        const std::string name(key.str());
        const Key* row = nullptr;
        for (const Key& k : kKeys)
            if (name == k.name) row = &k;
        if (row == nullptr) {
            std::string known;
            for (const Key& k : kKeys) known += std::string(known.empty() ? "" : ", ") + k.name;
            return Status::failure(Why::UnknownSettingsKey, where(path, key.source()), name, known);
        }
        // A key the command line set is still checked, then has no effect.
        CliOptions overridden;
        const std::string wrong = row->set(value, options.givenKeys.count(name) != 0 ? overridden : read);
        if (!wrong.empty())
            return Status::failure(Why::SettingsKeyWrong, where(path, value.source()), name, wrong);
    }
    options = std::move(read);
    return Status::success();
}

}  // namespace codekiln
