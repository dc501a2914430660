// codekiln-cli: reads the command line, runs it, and turns the result into
// the exit code.
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/lsp_server.h"
#include "engine/format/large_buffers.h"
#include "platform/file_names.h"
#include "platform/memory_pages.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // --stdout passes the file's bytes through unchanged: no line-end translation.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
#ifndef _WIN32
    // Qt would turn the bytes of a name that is not UTF-8 into U+FFFD, and
    // the changed name could be another file's: such an argument is refused.
    // (Windows hands Qt the arguments as UTF-16, without loss.)
    for (int i = 1; i < argc; ++i) {
        if (!codekiln::isUtf8Name(argv[i])) {
            std::fprintf(stderr, "codekiln-cli: %s: not valid UTF-8; not used\n",
                         codekiln::escapedName(argv[i]).c_str());
            return codekiln::exitCodeFor(codekiln::CliResult::UsageError);
        }
    }
#endif
    codekiln::setLargeBufferAdvice(codekiln::adviseLargePages);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("codekiln-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CODEKILN_VERSION));

    std::vector<std::string> arguments;
    for (const QString& a : QCoreApplication::arguments()) arguments.push_back(a.toStdString());
    const codekiln::ParsedCommandLine parsed = codekiln::parseCommandLine(arguments);
    switch (parsed.kind) {
        case codekiln::ParsedCommandLine::Kind::Help:
        case codekiln::ParsedCommandLine::Kind::Version:
            std::fprintf(stdout, "%s\n", parsed.text.c_str());
            if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
                std::fprintf(stderr, "codekiln-cli: standard output: cannot write\n");
                return codekiln::exitCodeFor(codekiln::CliResult::FilesFailed);
            }
            return codekiln::exitCodeFor(codekiln::CliResult::Success);
        case codekiln::ParsedCommandLine::Kind::Error:
            std::fprintf(stderr, "codekiln-cli: %s\n", parsed.text.c_str());
            return codekiln::exitCodeFor(codekiln::CliResult::UsageError);
        case codekiln::ParsedCommandLine::Kind::Run:
            break;
    }
    // The server's exit code is the protocol's: 0 after a shutdown request, else 1.
    if (parsed.options.mode == codekiln::CliMode::Lsp)
        return codekiln::runLspServer(parsed.options, stdin, stdout);
    return codekiln::exitCodeFor(codekiln::runCli(parsed.options, stdin, stdout, stderr));
}
