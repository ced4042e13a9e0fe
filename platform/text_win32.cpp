// SPDX-License-Identifier: MIT
// The one conversion between UTF-8 and UTF-16 (and a code page) on Windows: every path and
// text crosses the Win32 API as UTF-16, text files hold the ANSI code page.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "common/error.h"
#include "platform/text_win32.h"

namespace wirepace::platform::win32 {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) throw RuntimeError(kErrPathNotFound, "Text is not valid UTF-8: " + utf8);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

namespace {
std::string FromWide(const std::wstring& text, unsigned codePage) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring ToWide(const std::string& text, unsigned codePage) {
    if (text.empty()) return {};
    const int n =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}
}  // namespace

std::string Narrow(const std::wstring& utf16) {
    return FromWide(utf16, CP_UTF8);
}

std::string Utf8ToCodePage(const std::string& utf8, unsigned codePage) {
    return FromWide(Widen(utf8), codePage);
}

std::string CodePageToUtf8(const std::string& text, unsigned codePage) {
    return Narrow(ToWide(text, codePage));
}

std::optional<std::string> FirstCharacterNotIn(const std::string& utf8, unsigned codePage) {
    if (codePage == CP_ACP) codePage = ::GetACP();
    if (codePage == CP_UTF8) return std::nullopt;
    const std::wstring wide = Widen(utf8);
    // One character at a time, a surrogate pair together, so the message can name it.
    for (std::size_t i = 0; i < wide.size();) {
        std::size_t n = 1;
        if (wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size()) n = 2;
        const std::wstring one = wide.substr(i, n);
        BOOL usedDefault = FALSE;
        char out[16];
        const int got =
            ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, one.data(), static_cast<int>(n),
                                  out, sizeof out, nullptr, &usedDefault);
        if (got <= 0 || usedDefault ||
            ToWide(std::string(out, static_cast<std::size_t>(got)), codePage) != one)
            return Narrow(one);
        i += n;
    }
    return std::nullopt;
}

bool WidenInto(const char* utf8, wchar_t* out, std::size_t capacity) noexcept {
    if (!utf8 || !out || capacity == 0 || capacity > 0x7fffffff) return false;
    return ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out, static_cast<int>(capacity)) > 0;
}

}  // namespace wirepace::platform::win32
