// SPDX-License-Identifier: MIT
// Remembered settings on Windows: one string value per name under a key of HKEY_CURRENT_USER.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "common/error.h"
#include "platform/platform.h"
#include "platform/platform_win32_detail.h"

namespace wirepace::platform {

namespace {

// Far above what a path or an account takes; a longer value is not ours.
constexpr DWORD kMaxValueChars = 32 * 1024;
constexpr DWORD kMaxValues = 64;

class Key {
  public:
    explicit Key(HKEY key) : key_(key) {}
    ~Key() { ::RegCloseKey(key_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return key_; }

  private:
    HKEY key_;
};

}  // namespace

std::map<std::string, std::string> ReadUserSettings(const std::string& location) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, win32::Widen(location).c_str(), 0, KEY_QUERY_VALUE,
                        &opened) != ERROR_SUCCESS)
        return {};
    const Key key(opened);
    std::map<std::string, std::string> values;
    std::vector<wchar_t> name(256);
    std::vector<BYTE> data((kMaxValueChars + 1) * sizeof(wchar_t));
    for (DWORD index = 0;; ++index) {
        if (index >= kMaxValues) return {};
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD bytes = static_cast<DWORD>(data.size());
        const LONG rc = ::RegEnumValueW(key.Get(), index, name.data(), &nameChars, nullptr, &type,
                                        data.data(), &bytes);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        // Too long a name or value, or one of another type: not what this program writes.
        if (rc != ERROR_SUCCESS || type != REG_SZ || bytes % sizeof(wchar_t) != 0) return {};
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), bytes / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        if (text.find(L'\0') != std::wstring::npos) return {};
        values[win32::Narrow(std::wstring(name.data(), nameChars))] = win32::Narrow(text);
    }
    return values;
}

void WriteUserSettings(const std::string& location,
                       const std::map<std::string, std::string>& values) {
    HKEY created = nullptr;
    const LONG rc =
        ::RegCreateKeyExW(HKEY_CURRENT_USER, win32::Widen(location).c_str(), 0, nullptr,
                          REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &created, nullptr);
    if (rc != ERROR_SUCCESS)
        throw RuntimeError(kErrPermissionDenied, "Cannot open HKEY_CURRENT_USER\\" + location +
                                                     " (" + std::to_string(rc) + ")");
    const Key key(created);
    for (const auto& [name, value] : values) {
        const std::wstring text = win32::Widen(value);
        const LONG set = ::RegSetValueExW(key.Get(), win32::Widen(name).c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(text.c_str()),
                                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        if (set != ERROR_SUCCESS)
            throw RuntimeError(kErrPermissionDenied, "Cannot write " + name +
                                                         " to HKEY_CURRENT_USER\\" + location +
                                                         " (" + std::to_string(set) + ")");
    }
}

}  // namespace wirepace::platform
