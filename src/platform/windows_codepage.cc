// MultiByteToWideChar and WideCharToMultiByte with the flags that refuse
// invalid bytes and substitutes. Every conversion is also checked by
// converting back, since not every code page honours every flag.
#include "platform/windows_codepage.h"

#include <windows.h>

namespace codekiln {

namespace {

bool toWide(unsigned codePage, std::string_view bytes, std::wstring& wide) {
    wide.clear();
    if (bytes.empty()) return true;
    if (bytes.size() > 0x7FFFFFFF) return false;
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (n <= 0) return false;
    wide.resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), n) == n;
}

// UTF-8 has no default character: WC_ERR_INVALID_CHARS refuses lone
// surrogates. Other code pages report a substitute through `usedDefault`;
// those that take no flags (and say so) are converted without them.
bool fromWide(unsigned codePage, const std::wstring& wide, std::string& bytes) {
    bytes.clear();
    if (wide.empty()) return true;
    if (wide.size() > 0x7FFFFFFF) return false;
    const int size = static_cast<int>(wide.size());
    const bool utf8 = codePage == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = utf8 ? nullptr : &usedDefault;
    int n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, used);
    if (n <= 0 && !utf8 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, used);
    }
    if (n <= 0 || usedDefault) return false;
    bytes.resize(static_cast<std::size_t>(n));
    return WideCharToMultiByte(codePage, flags, wide.data(), size, bytes.data(), n, nullptr, used) == n &&
           !usedDefault;
}

}  // namespace

unsigned ansiCodePage() { return GetACP(); }

bool hasCodePage(unsigned codePage) { return IsValidCodePage(codePage) != 0; }

bool codePageToUtf8(unsigned codePage, std::string_view bytes, std::string& utf8) {
    std::wstring wide;
    std::string back;
    // The bytes must come back from the characters unchanged: then a line
    // the engine leaves alone is written back as it was.
    return toWide(codePage, bytes, wide) && fromWide(codePage, wide, back) && back == bytes &&
           fromWide(CP_UTF8, wide, utf8);
}

bool utf8ToCodePage(unsigned codePage, std::string_view utf8, std::string& bytes) {
    std::wstring wide;
    std::wstring back;
    return toWide(CP_UTF8, utf8, wide) && fromWide(codePage, wide, bytes) && toWide(codePage, bytes, back) &&
           back == wide;
}

}  // namespace codekiln
