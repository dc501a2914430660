// The server reads one message at a time, answers it before it reads the
// next, and keeps the open documents' text in memory as UTF-8. Positions are
// UTF-16 code units, as the protocol has them by default, or UTF-8 bytes when
// the client offers them; edits it sends start and end at line starts, where
// every count agrees.
#include "cli/lsp_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrl>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/line_edits.h"
#include "platform/file_names.h"
#include "run/reason_text.h"

namespace codekiln {

namespace {

// JSON-RPC's and the protocol's error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

// A message larger than this is read past and refused: no buffer that size
// is a source file.
constexpr std::size_t kMaxMessage = std::size_t{256} << 20;

class Server {
public:
    Server(const CliOptions& options, std::FILE* in, std::FILE* out)
        : options_(options), in_(in), out_(out) {}

    int run() {
        for (;;) {
            std::string body;
            switch (readMessage(body)) {
                case Read::End:
                    return shutdown_ ? 0 : 1;
                case Read::Bad:
                    sendError(QJsonValue(), kParseError, "bad message framing (no valid Content-Length)");
                    continue;
                case Read::TooLarge:
                    sendError(QJsonValue(), kInvalidRequest, "message too large");
                    continue;
                case Read::Ok:
                    break;
            }
            QJsonParseError parseError;
            const QJsonDocument document =
                QJsonDocument::fromJson(QByteArray::fromStdString(body), &parseError);
            if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
                sendError(QJsonValue(), kParseError, "not a JSON-RPC message");
                continue;
            }
            const QJsonObject message = document.object();
            if (message.value("method").toString() == "exit") return shutdown_ ? 0 : 1;
            handle(message);
        }
    }

private:
    enum class Read { Ok, Bad, TooLarge, End };

    // The header lines up to the empty one, then the body.
    Read readMessage(std::string& body) {
        long long length = -1;
        bool any = false;
        for (;;) {
            std::string line;
            int c;
            while ((c = std::fgetc(in_)) != EOF && c != '\n') line += static_cast<char>(c);
            if (c == EOF) return Read::End;  // a message cut short ends the session
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) {
                if (!any) continue;  // blank lines between messages
                break;
            }
            any = true;
            const std::string name = "content-length:";
            if (line.size() > name.size() && QString::fromStdString(line.substr(0, name.size())).toLower() ==
                                                 QString::fromStdString(name)) {
                bool ok = false;
                length = QString::fromStdString(line.substr(name.size())).trimmed().toLongLong(&ok);
                if (!ok || length < 0) length = -1;
            }
        }
        if (length < 0) return Read::Bad;
        const bool tooLarge = static_cast<unsigned long long>(length) > kMaxMessage;
        body.clear();
        char buffer[65536];
        std::size_t left = static_cast<std::size_t>(length);
        while (left > 0) {
            const std::size_t n = std::fread(buffer, 1, std::min(left, sizeof buffer), in_);
            if (n == 0) return Read::End;
            if (!tooLarge) body.append(buffer, n);
            left -= n;
        }
        return tooLarge ? Read::TooLarge : Read::Ok;
    }

    void send(const QJsonObject& message) {
        QJsonObject full = message;
        full.insert("jsonrpc", "2.0");
        const QByteArray body = QJsonDocument(full).toJson(QJsonDocument::Compact);
        const std::string header = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
        std::fwrite(header.data(), 1, header.size(), out_);
        std::fwrite(body.data(), 1, static_cast<std::size_t>(body.size()), out_);
        std::fflush(out_);
    }

    void sendResult(const QJsonValue& id, const QJsonValue& result) {
        send(QJsonObject{{"id", id}, {"result", result}});
    }

    // A result already in JSON text (the edits, written as they are made:
    // tens of thousands of small objects cost far more as QJsonObjects).
    void sendRawResult(const QJsonValue& id, const std::string& result) {
        const QByteArray idText = QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact);
        std::string body = R"({"id":)";
        body.append(idText.constData() + 1, static_cast<std::size_t>(idText.size() - 2));
        body += R"(,"jsonrpc":"2.0","result":)";
        body += result;
        body += '}';
        const std::string header = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
        std::fwrite(header.data(), 1, header.size(), out_);
        std::fwrite(body.data(), 1, body.size(), out_);
        std::fflush(out_);
    }

    void sendError(const QJsonValue& id, int code, const std::string& text) {
        send(QJsonObject{{"id", id.isUndefined() ? QJsonValue() : id},
                         {"error", QJsonObject{{"code", code}, {"message", QString::fromStdString(text)}}}});
    }

    void showError(const std::string& text) {
        send(QJsonObject{{"method", "window/showMessage"},
                         {"params", QJsonObject{{"type", 1}, {"message", QString::fromStdString(text)}}}});
    }

    void handle(const QJsonObject& message) {
        const QString method = message.value("method").toString();
        const bool request = message.contains("id");
        const QJsonValue id = message.value("id");
        const QJsonObject params = message.value("params").toObject();
        if (method.isEmpty()) {
            if (request && !message.contains("result") && !message.contains("error"))
                sendError(id, kInvalidRequest, "no method");
            return;  // a response to something the server sent
        }
        if (method == "initialize") {
            initialized_ = true;
            // UTF-16 code units unless the client can count in UTF-8 bytes,
            // the text's own unit.
            const QJsonArray offered = params.value("capabilities")
                                           .toObject()
                                           .value("general")
                                           .toObject()
                                           .value("positionEncodings")
                                           .toArray();
            utf8Positions_ = offered.contains(QJsonValue("utf-8"));
            const QJsonObject sync{{"openClose", true}, {"change", 2}, {"save", true}};
            const QJsonObject capabilities{{"positionEncoding", utf8Positions_ ? "utf-8" : "utf-16"},
                                           {"textDocumentSync", sync},
                                           {"documentFormattingProvider", true},
                                           {"documentRangeFormattingProvider", true}};
            sendResult(id, QJsonObject{{"capabilities", capabilities},
                                       {"serverInfo", QJsonObject{{"name", "codekiln-cli"}}}});
            return;
        }
        if (!initialized_) {
            if (request) sendError(id, kServerNotInitialized, "not initialized");
            return;
        }
        if (shutdown_ && request) {
            sendError(id, kInvalidRequest, "shut down");
            return;
        }
        const std::string uri = params.value("textDocument").toObject().value("uri").toString().toStdString();
        if (method == "shutdown") {
            shutdown_ = true;
            sendResult(id, QJsonValue());
        } else if (method == "textDocument/didOpen") {
            documents_[uri] = params.value("textDocument").toObject().value("text").toString().toStdString();
        } else if (method == "textDocument/didChange") {
            const auto found = documents_.find(uri);
            if (found == documents_.end()) return;
            for (const QJsonValue& change : params.value("contentChanges").toArray())
                applyChange(found->second, change.toObject());
        } else if (method == "textDocument/didClose") {
            documents_.erase(uri);
        } else if (method == "textDocument/formatting" || method == "textDocument/rangeFormatting") {
            if (!request) return;
            format(
                id, uri,
                method == "textDocument/rangeFormatting" ? params.value("range").toObject() : QJsonObject());
        } else if (request) {
            sendError(id, kMethodNotFound, "method not found: " + method.toStdString());
        }
        // Other notifications (initialized, didSave, $/...) need nothing.
    }

    // The byte offset of an LSP position in `text`: `character` counts UTF-16
    // code units (UTF-8 bytes when so agreed) and stops at the line's end.
    static std::size_t offsetOf(const std::string& text, long long line, long long character, bool utf8) {
        std::size_t at = 0;
        for (long long n = 0; n < line && at < text.size(); ++n) {
            while (at < text.size() && text[at] != '\n' && text[at] != '\r') ++at;
            if (at < text.size())
                at += text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
        }
        long long units = 0;
        while (at < text.size() && units < character && text[at] != '\n' && text[at] != '\r') {
            const unsigned char lead = static_cast<unsigned char>(text[at]);
            const std::size_t length = utf8 ? 1 : lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            units += length == 4 ? 2 : 1;
            at = std::min(text.size(), at + length);
        }
        return at;
    }

    void applyChange(std::string& text, const QJsonObject& change) const {
        const std::string replacement = change.value("text").toString().toStdString();
        if (!change.contains("range")) {
            text = replacement;
            return;
        }
        const QJsonObject range = change.value("range").toObject();
        const QJsonObject start = range.value("start").toObject();
        const QJsonObject end = range.value("end").toObject();
        const std::size_t from =
            offsetOf(text, start.value("line").toInteger(), start.value("character").toInteger(), utf8Positions_);
        const std::size_t to = std::max(from, offsetOf(text, end.value("line").toInteger(),
                                                       end.value("character").toInteger(), utf8Positions_));
        text.replace(from, to - from, replacement);
    }

    void format(const QJsonValue& id, const std::string& uri, const QJsonObject& range) {
        const auto found = documents_.find(uri);
        if (found == documents_.end()) {
            sendError(id, kInvalidParams, "document not open: " + uri);
            return;
        }
        const QUrl url(QString::fromStdString(uri));
        const std::string path = url.isLocalFile() ? url.toLocalFile().toStdString() : std::string();
        CliOptions options = options_;
        // The buffer is Unicode text already, whatever the file's encoding on disk.
        options.encoding = EncodingChoice::Utf8;
        const Status config = applyDocumentConfig(options, path.empty() ? "untitled.f90" : path);
        if (!config) {
            refuse(id, englishText(config));
            return;
        }
        options.encoding = EncodingChoice::Utf8;
        if (!range.isEmpty()) {
            const QJsonObject start = range.value("start").toObject();
            const QJsonObject end = range.value("end").toObject();
            long long first = start.value("line").toInteger();
            long long last = end.value("line").toInteger();
            if (last > first && end.value("character").toInteger() == 0) --last;  // up to the start of a line
            if (first < 0 || last < first) {
                sendError(id, kInvalidParams, "bad range");
                return;
            }
            options.rangeFirst = static_cast<std::size_t>(first) + 1;
            options.rangeLast = static_cast<std::size_t>(last) + 1;
        }
        const std::string& text = found->second;
        const PipelineResult result = formatOneText(options, text, path.empty() ? uri : escapedName(path));
        if (!result.formatted()) {
            refuse(id, englishText(result.reason));
            return;
        }
        // The edits are written by hand, as JSON carries valid UTF-8 as it is;
        // the pipeline puts out nothing else for a buffer.
        if (!isUtf8Name(result.bytes)) {
            refuse(id, "the formatted text is not valid UTF-8");
            return;
        }
        std::string edits = "[";
        edits.reserve(result.bytes.size() + result.bytes.size() / 2);
        for (const LineHunk& hunk : lineHunks(text, result.bytes)) {
            if (edits.size() > 1) edits += ',';
            edits += R"({"newText":")";
            for (const std::string& line : hunk.lines) appendJsonText(edits, line);
            edits += R"(","range":{"end":{"character":0,"line":)" + std::to_string(hunk.first + hunk.count) +
                     R"(},"start":{"character":0,"line":)" + std::to_string(hunk.first) + "}}}";
        }
        edits += ']';
        sendRawResult(id, edits);
    }

    // `text` (valid UTF-8) inside a JSON string: quotes, backslashes and
    // control characters escaped, everything else as it is.
    static void appendJsonText(std::string& json, const std::string& text) {
        static const char hex[] = "0123456789abcdef";
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                json += '\\';
                json += c;
            } else if (c == '\n') {
                json += "\\n";
            } else if (c == '\r') {
                json += "\\r";
            } else if (c == '\t') {
                json += "\\t";
            } else if (byte < 0x20) {
                json += "\\u00";
                json += hex[byte >> 4];
                json += hex[byte & 0xF];
            } else {
                json += c;
            }
        }
    }

    void refuse(const QJsonValue& id, const std::string& reason) {
        sendError(id, kRequestFailed, reason);
        showError("codekiln: " + reason);
    }

    CliOptions options_;
    std::FILE* in_;
    std::FILE* out_;
    bool initialized_ = false;
    bool shutdown_ = false;
    bool utf8Positions_ = false;  ///< the client counts a line's characters in UTF-8 bytes
    std::map<std::string, std::string> documents_;
};

}  // namespace

int runLspServer(const CliOptions& options, std::FILE* in, std::FILE* out) {
    return Server(options, in, out).run();
}

}  // namespace codekiln
