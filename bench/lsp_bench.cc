// How long codekiln-cli --lsp takes to answer "Format Document" on a
// 10,000-line buffer: the whole session (initialize, didOpen, formatting,
// shutdown, exit) as the server reads it, with the edits computed. Not part
// of the test suite; run it by hand: build/bench/lsp_bench
#include <benchmark/benchmark.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>
#include <string>

#include "cli/cli_options.h"
#include "cli/lsp_server.h"

namespace codekiln {
namespace {

std::string frame(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string session(int lines) {
    std::string text;
    for (int unit = 0; text.size() < static_cast<std::size_t>(lines) * 14; ++unit) {
        text += "subroutine s" + std::to_string(unit) + "(a, n)\ninteger :: n, i\nreal :: a(n)\n";
        text += "do i = 1, n\nif (a(i) > 0.0) then\na(i) = a(i) * 2.0\nelse\na(i) = 0.0\nend if\nend do\n";
        text += "end subroutine s" + std::to_string(unit) + "\n";
    }
    const std::string quoted = QJsonDocument(QJsonArray{QString::fromStdString(text)})
                                   .toJson(QJsonDocument::Compact)
                                   .mid(1)
                                   .chopped(1)
                                   .toStdString();
    const std::string uri = "file:///nonexistent/bench.f90";
    return frame(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})") +
           frame(R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":")" + uri +
                 R"(","languageId":"fortran","version":1,"text":)" + quoted + "}}}") +
           frame(R"({"jsonrpc":"2.0","id":2,"method":"textDocument/formatting","params":{"textDocument":{"uri":")" +
                 uri + R"("},"options":{"tabSize":4,"insertSpaces":true}}})") +
           frame(R"({"jsonrpc":"2.0","id":3,"method":"shutdown"})") + frame(R"({"jsonrpc":"2.0","method":"exit"})");
}

void BM_FormatTenThousandLines(benchmark::State& state) {
    const std::string input = session(10000);
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    CliOptions options;
    options.readConfig = false;
    for (auto _ : state) {
        std::rewind(in);
        std::rewind(out);
        benchmark::DoNotOptimize(runLspServer(options, in, out));
    }
    std::fclose(in);
    std::fclose(out);
}
BENCHMARK(BM_FormatTenThousandLines)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace codekiln

BENCHMARK_MAIN();
