// Lays out every Fortran file of a folder tree in the modern layout and
// writes the results to the same relative paths under another folder:
//   codekiln_modern_run INDENT IN_DIR OUT_DIR
// Engine only; warnings go to stderr.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "engine/format/modern_layout.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: codekiln_modern_run INDENT IN_DIR OUT_DIR\n";
        return 2;
    }
    codekiln::ModernOptions options;
    options.indentWidth = std::atoi(argv[1]);
    if (options.indentWidth < 1 || options.indentWidth > 8) {
        std::cerr << "codekiln_modern_run: INDENT must be 1 to 8\n";
        return 2;
    }
    fs::path in = argv[2], out = argv[3];
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(in)) {
        if (!entry.is_regular_file()) continue;
        std::string ext = entry.path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext != ".f90" && ext != ".f95" && ext != ".f03" && ext != ".f08") continue;
        std::ifstream f(entry.path(), std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        codekiln::ModernFile result = codekiln::formatModern(ss.str(), options);
        for (const auto& w : result.warnings)
            std::cerr << entry.path().string() << ":" << w.line << ": " << w.message << "\n";
        fs::path target = out / fs::relative(entry.path(), in);
        fs::create_directories(target.parent_path());
        std::ofstream o(target, std::ios::binary);
        o << result.text;
        if (!o) {
            std::cerr << "codekiln_modern_run: cannot write " << target.string() << "\n";
            return 1;
        }
        ++files;
    }
    std::cerr << files << " files\n";
    return 0;
}
