// The language server driven over standard input by a scripted client: the
// edits it answers with, applied to the buffer, give exactly what --stdout
// gives for the file; a range keeps the other lines; a refused buffer gets an
// error and no edit; bad messages get their error and the session goes on.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <map>
#include <string>
#include <vector>

#include "cli/line_edits.h"
#include "run_program.h"
#include "support/temp_folder.h"

namespace codekiln {
namespace {

using testing::Result;
using testing::runProgram;
using testing::TempFolder;

std::string frame(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string request(int id, const std::string& method, const std::string& params) {
    return frame(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
                 R"(","params":)" + params + "}");
}

std::string notification(const std::string& method, const std::string& params) {
    return frame(R"({"jsonrpc":"2.0","method":")" + method + R"(","params":)" + params + "}");
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string jsonString(const std::string& text) {
    return QJsonDocument(QJsonArray{QString::fromStdString(text)})
        .toJson(QJsonDocument::Compact)
        .mid(1)
        .chopped(1)
        .toStdString();
}

// The server's messages, in order.
std::vector<QJsonObject> messages(const std::string& out) {
    std::vector<QJsonObject> found;
    std::size_t at = 0;
    while ((at = out.find("Content-Length: ", at)) != std::string::npos) {
        const std::size_t length = std::stoul(out.substr(at + 16));
        const std::size_t body = out.find("\r\n\r\n", at) + 4;
        found.push_back(
            QJsonDocument::fromJson(QByteArray::fromStdString(out.substr(body, length))).object());
        at = body + length;
    }
    return found;
}

// Line edits (at line starts, in order) applied to `text`.
std::string applied(const std::string& text, const QJsonArray& edits) {
    std::vector<std::string> lines = linesWithEnds(text);
    for (int i = edits.size() - 1; i >= 0; --i) {
        const QJsonObject range = edits[i].toObject().value("range").toObject();
        const auto line = [&](const char* end) {
            return static_cast<std::size_t>(range.value(end).toObject().value("line").toInt());
        };
        EXPECT_EQ(range.value("start").toObject().value("character").toInt(), 0);
        const std::vector<std::string> added =
            linesWithEnds(edits[i].toObject().value("newText").toString().toStdString());
        const std::size_t last = std::min(line("end"), lines.size());
        lines.erase(lines.begin() + static_cast<long>(std::min(line("start"), lines.size())),
                    lines.begin() + static_cast<long>(last));
        lines.insert(lines.begin() + static_cast<long>(std::min(line("start"), lines.size())), added.begin(),
                     added.end());
    }
    std::string result;
    for (const std::string& l : lines) result += l;
    return result;
}

TEST(LspServer, ScriptedSession) {
    TempFolder home;
    const std::string source = "program p\r\nif (a) then\r\nx = 1\r\nend if\r\nend program p\r\n";
    home.write("p/a.f90", source);
    home.write("p/.codekiln.toml", "separators = false\n");
    const std::string expected = runProgram(home, {"--stdout", home.path("p/a.f90")}).out;
    ASSERT_FALSE(expected.empty());
    const std::string uri = QUrl::fromLocalFile(QString::fromStdString(home.path("p/a.f90")))
                                .toString(QUrl::FullyEncoded)
                                .toStdString();
    const std::string doc = R"({"textDocument":{"uri":")" + uri + R"("})";
    // Two changes on the third line: "x = 1" becomes "xé😀 = 2", the second
    // one's columns counted in UTF-16 code units (the emoji is two).
    const std::string change =
        R"({"textDocument":{"uri":")" + uri +
        R"(","version":2},"contentChanges":[)"
        R"({"range":{"start":{"line":2,"character":1},"end":{"line":2,"character":1}},"text":"é😀"},)"
        R"({"range":{"start":{"line":2,"character":7},"end":{"line":2,"character":8}},"text":"2"}]})";
    const std::string changed = "program p\r\nif (a) then\r\nxé😀 = 2\r\nend if\r\nend program p\r\n";
    home.write("p/b.f90", changed);
    // Text the edits must carry through JSON's escapes.
    const std::string escapes = "program q\nif (a) then\ns = '\"\\\t\x01/é'\nend if\nend program q\n";
    home.write("p/c.f90", escapes);
    const std::string cUri = QUrl::fromLocalFile(QString::fromStdString(home.path("p/c.f90")))
                                 .toString(QUrl::FullyEncoded)
                                 .toStdString();
    const std::string input =
        request(1, "shutdown", "null") +  // before initialize
        request(2, "initialize", "{}") + notification("initialized", "{}") +
        notification("textDocument/didOpen", R"({"textDocument":{"uri":")" + uri +
                                                 R"(","languageId":"fortran","version":1,"text":)" +
                                                 jsonString(source) + "}}") +
        request(3, "textDocument/formatting",
                R"({"textDocument":{"uri":")" + uri + R"("},"options":{"tabSize":2,"insertSpaces":true}})") +
        request(4, "textDocument/rangeFormatting",
                R"({"textDocument":{"uri":")" + uri +
                    R"("},"range":{"start":{"line":2,"character":0},"end":{"line":3,"character":0}}})") +
        notification("textDocument/didChange", change) + request(5, "textDocument/formatting", doc + "}") +
        notification("textDocument/didChange",
                     R"({"textDocument":{"uri":")" + uri +
                         R"("},"contentChanges":[{"text":"x = 1\n\t \t!**************** !\n"}]})") +
        request(6, "textDocument/formatting", doc + "}") + "Content-Length: 5\r\n\r\n{oops" +
        "Bogus: 1\r\n\r\n" + request(7, "no/such", "{}") +
        request(8, "textDocument/formatting", R"({"textDocument":{"uri":"file:///not/open.f90"}})") +
        notification("textDocument/didOpen",
                     R"({"textDocument":{"uri":")" + cUri + R"(","version":1,"text":)" + jsonString(escapes) + "}}") +
        request(10, "textDocument/formatting", R"({"textDocument":{"uri":")" + cUri + R"("}})") +
        request(9, "shutdown", "null") + notification("exit", "null");
    const Result r = runProgram(home, {"--lsp"}, input);
    EXPECT_EQ(r.exitCode, 0) << r.err;

    std::map<int, QJsonObject> responses;
    std::vector<QJsonObject> nullIds;
    int shown = 0;
    for (const QJsonObject& m : messages(r.out)) {
        if (m.value("method") == "window/showMessage")
            ++shown;
        else if (m.value("id").isNull())
            nullIds.push_back(m);
        else
            responses[m.value("id").toInt()] = m;
    }
    // A client that counts in UTF-8 bytes: the same change, "é😀" six bytes (three UTF-16 units).
    const std::string utf8Session =
        request(1, "initialize", R"({"capabilities":{"general":{"positionEncodings":["utf-8","utf-16"]}}})") +
        notification("textDocument/didOpen", R"({"textDocument":{"uri":")" + uri + R"(","version":1,"text":)" +
                                                 jsonString(source) + "}}") +
        notification("textDocument/didChange", replaced(change, R"("character":7},"end":{"line":2,"character":8})",
                                                        R"("character":10},"end":{"line":2,"character":11})")) +
        request(2, "textDocument/formatting", doc + "}");
    const std::vector<QJsonObject> utf8 = messages(runProgram(home, {"--lsp"}, utf8Session).out);
    const auto encoding = [](const QJsonObject& answer) {
        return answer.value("result").toObject().value("capabilities").toObject().value("positionEncoding");
    };
    const auto code = [&](int id) { return responses[id].value("error").toObject().value("code").toInt(); };
    const auto edits = [&](int id) { return responses[id].value("result").toArray(); };
    const std::string changedExpected = runProgram(home, {"--stdout", home.path("p/b.f90")}).out;
    const std::size_t x = expected.find("x = 1");
    const std::string formattedX =
        expected.substr(expected.rfind('\n', x) + 1, expected.find('\n', x) - expected.rfind('\n', x));
    const struct {
        const char* label;
        bool ok;
    } cases[] = {
        {"before initialize: not initialized", code(1) == -32002},
        {"capabilities", responses[2]
                             .value("result")
                             .toObject()
                             .value("capabilities")
                             .toObject()
                             .value("documentRangeFormattingProvider")
                             .toBool()},
        {"formatting gives --stdout's text", applied(source, edits(3)) == expected},
        {"formatting sends changed lines only (the banner, three lines)", edits(3).size() == 4},
        {"range: only its line", applied(source, edits(4)) == "program p\r\nif (a) then\r\n" + formattedX +
                                                                  "end if\r\nend program p\r\n"},
        {"incremental change, then formatting", applied(changed, edits(5)) == changedExpected},
        {"refused buffer: error, no edits",
         code(6) == -32803 && !responses[6].contains("result") && shown == 1},
        {"malformed message and framing: errors, session goes on",
         nullIds.size() == 2 && nullIds[0].value("error").toObject().value("code").toInt() == -32700},
        {"unknown method", code(7) == -32601},
        {"document not open", code(8) == -32602},
        {"quotes, backslashes and control characters in edits",
         applied(escapes, edits(10)) == runProgram(home, {"--stdout", home.path("p/c.f90")}).out},
        {"utf-16 positions by default", encoding(responses[2]) == "utf-16"},
        {"utf-8 positions when offered", utf8.size() == 2 && encoding(utf8[0]) == "utf-8" &&
                                             applied(changed, utf8[1].value("result").toArray()) == changedExpected},
        {"shutdown", responses[9].contains("result") && !responses[9].contains("error")},
    };
    for (const auto& c : cases) EXPECT_TRUE(c.ok) << c.label << "\n" << r.out;

    // The end of the input without shutdown ends it too, with 1.
    EXPECT_EQ(
        runProgram(home, {"--lsp"}, request(1, "initialize", "{}") + "Content-Length: 99\r\n\r\n{").exitCode,
        1);
    EXPECT_EQ(home.read("p/a.f90"), source);
}

}  // namespace
}  // namespace codekiln
