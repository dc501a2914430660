// codekiln_corpus: writes the benchmark corpus, either as a folder of files
// or as one file that joins them in name order (the same bytes), or one of
// the two stress files.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "corpus.h"

namespace {

namespace fs = std::filesystem;
using codekiln::bench::CorpusOptions;

constexpr std::string_view kUsage =
    "usage: codekiln_corpus [--files N] [--megabytes M] [--big N] FOLDER\n"
    "       codekiln_corpus [--files N] [--megabytes M] [--big N] --concat FILE\n"
    "       codekiln_corpus --labelled-do LOOPS FILE\n"
    "       codekiln_corpus --nested DEPTH FILE\n";

bool writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) std::cerr << "codekiln_corpus: cannot write " << path.string() << '\n';
    return static_cast<bool>(out);
}

bool parseCount(const char* text, std::size_t& value) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0') return false;
    value = static_cast<std::size_t>(v);
    return true;
}

int writeCorpus(const CorpusOptions& options, const fs::path& target, bool concat) {
    std::ofstream joined;
    if (concat) {
        joined.open(target, std::ios::binary | std::ios::trunc);
    } else {
        std::error_code ec;
        fs::create_directories(target, ec);
        if (ec) {
            std::cerr << "codekiln_corpus: cannot create " << target.string() << ": " << ec.message() << '\n';
            return 1;
        }
    }
    std::size_t files = 0;
    std::size_t bytes = 0;
    for (const auto& file : codekiln::bench::corpusPlan(options)) {
        const std::string text = codekiln::bench::generateFile(file);
        if (concat) {
            joined.write(text.data(), static_cast<std::streamsize>(text.size()));
        } else if (!writeFile(target / file.name, text)) {
            return 1;
        }
        ++files;
        bytes += text.size();
    }
    if (concat) {
        joined.close();
        if (!joined) {
            std::cerr << "codekiln_corpus: cannot write " << target.string() << '\n';
            return 1;
        }
    }
    std::cout << files << " files, " << bytes << " bytes\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CorpusOptions options;
    std::size_t megabytes = 0;
    std::size_t stressSize = 0;
    std::string stress;
    bool concat = false;
    fs::path target;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--files" && hasValue && parseCount(argv[i + 1], options.files)) {
            ++i;
        } else if (arg == "--megabytes" && hasValue && parseCount(argv[i + 1], megabytes)) {
            options.totalBytes = megabytes * 1000000;
            ++i;
        } else if (arg == "--big" && hasValue && parseCount(argv[i + 1], options.bigFiles)) {
            ++i;
        } else if ((arg == "--labelled-do" || arg == "--nested") && hasValue &&
                   parseCount(argv[i + 1], stressSize)) {
            stress = arg;
            ++i;
        } else if (arg == "--concat") {
            concat = true;
        } else if (target.empty() && !arg.empty() && arg.front() != '-') {
            target = argv[i];
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (target.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    if (stress == "--labelled-do") return writeFile(target, codekiln::bench::labelledDoFile(stressSize)) ? 0 : 1;
    if (stress == "--nested") return writeFile(target, codekiln::bench::nestedBlocksFile(stressSize)) ? 0 : 1;
    return writeCorpus(options, target, concat);
}
