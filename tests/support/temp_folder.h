// A scoped temporary folder for tests on real files: write, read and change
// the permissions of files by name.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

namespace codekiln::testing {

class TempFolder {
public:
    std::string path() const { return dir_.path().toStdString(); }
    std::string path(const std::string& name) const { return path() + "/" + name; }
    bool exists(const std::string& name) const { return QFileInfo::exists(q(name)); }

    void write(const std::string& name, const std::string& bytes) const {
        QDir().mkpath(QFileInfo(q(name)).path());
        QFile out(q(name));
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    std::string read(const std::string& name) const {
        QFile in(q(name));
        return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : "<unreadable>";
    }
    void setPermissions(const std::string& name, QFile::Permissions p) const {
        QFile::setPermissions(q(name), p);
    }

private:
    QString q(const std::string& name) const { return QString::fromStdString(path(name)); }
    QTemporaryDir dir_;
};

}  // namespace codekiln::testing
