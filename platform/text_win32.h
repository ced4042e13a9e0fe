// SPDX-License-Identifier: MIT
// The one conversion between UTF-8 and UTF-16 on Windows, for the platform layer and the Win32
// window alike; and between UTF-8 and a code page for text files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace wirepace::platform::win32 {

// UTF-8 <-> UTF-16 for every Win32 call, and UTF-8 <-> a code page (CP_ACP: the ANSI code page)
// for text files. Characters the code page lacks become its default character.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
std::string Utf8ToCodePage(const std::string& utf8, unsigned codePage);
std::string CodePageToUtf8(const std::string& text, unsigned codePage);
// The first character of `utf8` (as UTF-8) that the code page cannot store exactly, with no
// default character and no look-alike ("best fit") in its place; nullopt when every one fits.
std::optional<std::string> FirstCharacterNotIn(const std::string& utf8, unsigned codePage);

// Widen into fixed storage, NUL-terminated, without allocating (for an emergency exit); false
// when the text does not fit.
bool WidenInto(const char* utf8, wchar_t* out, std::size_t capacity) noexcept;

}  // namespace wirepace::platform::win32
