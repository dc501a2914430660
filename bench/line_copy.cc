// codekiln_line_copy: the yardstick for --stdout, a bare loop that reads a
// file line by line with std::getline and writes each line and a line feed
// to standard output, as any line-oriented tool must at least do.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: codekiln_line_copy FILE\n");
        return 2;
    }
    std::ios::sync_with_stdio(false);
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "codekiln_line_copy: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string line;
    while (std::getline(in, line)) {
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
