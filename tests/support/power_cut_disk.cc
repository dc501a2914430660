// Rebuilds a tree from the durable state the power-cut library recorded.
#include "support/power_cut_disk.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <vector>

namespace codekiln::testing {

namespace {

namespace fs = std::filesystem;

bool readWhole(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

struct Rebuild {
    std::string state;
    std::map<std::string, std::string> linked;  // file inode -> first path made for it
    std::set<std::string> folders;              // against a folder listed twice
    std::string error;

    void folder(const std::string& inode, const std::string& path) {
        if (!folders.insert(inode).second) {
            error = path + ": the same folder twice in the durable state";
            return;
        }
        std::string records;
        if (!readWhole(state + "/d/" + inode, records)) return;  // made since, never synced: empty
        std::istringstream in(records);
        for (;;) {
            char kind = 0;
            std::string entryInode;
            unsigned mode = 0;
            std::size_t nameSize = 0, targetSize = 0;
            if (!(in >> kind >> entryInode >> std::oct >> mode >> std::dec >> nameSize)) break;
            in.get();
            std::string name(nameSize, '\0'), target;
            in.read(name.data(), static_cast<std::streamsize>(nameSize));
            in >> targetSize;
            in.get();
            target.resize(targetSize);
            in.read(target.data(), static_cast<std::streamsize>(targetSize));
            if (!in) {
                error = state + "/d/" + inode + ": damaged";
                return;
            }
            entry(kind, entryInode, mode, path + "/" + name, target);
            if (!error.empty()) return;
        }
    }

    void entry(char kind, const std::string& inode, unsigned mode, const std::string& path,
               const std::string& target) {
        std::error_code ec;
        if (kind == 'd') {
            fs::create_directory(path, ec);
            if (!ec) folder(inode, path);
            if (!ec) ::chmod(path.c_str(), mode);
        } else if (kind == 'l') {
            fs::create_symlink(target, path, ec);
        } else if (linked.count(inode)) {
            fs::create_hard_link(linked[inode], path, ec);
        } else {
            std::string bytes;
            readWhole(state + "/f/" + inode, bytes);  // no durable bytes: empty
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.close();
            if (!out) error = path + ": cannot write";
            ::chmod(path.c_str(), mode);
            linked[inode] = path;
        }
        if (ec) error = path + ": " + ec.message();
    }
};

}  // namespace

std::string rollBackToDisk(const std::string& root, const std::string& state) {
    std::string rootInode;
    if (!readWhole(state + "/root", rootInode) || rootInode.empty()) return state + ": no durable state";
    rootInode.pop_back();
    std::error_code ec;
    std::vector<fs::path> entries;
    for (const fs::directory_entry& e : fs::directory_iterator(root, ec)) entries.push_back(e.path());
    if (ec) return root + ": " + ec.message();
    for (const fs::path& e : entries) {
        fs::remove_all(e, ec);
        if (ec) return e.string() + ": " + ec.message();
    }
    Rebuild rebuild;
    rebuild.state = state;
    rebuild.folder(rootInode, root);
    return rebuild.error;
}

long powerCutChanges(const std::string& state) {
    std::string text;
    return readWhole(state + "/calls", text) ? std::atol(text.c_str()) : -1;
}

}  // namespace codekiln::testing
