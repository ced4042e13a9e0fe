// SPDX-License-Identifier: MIT
// The themed controls: every system function is looked up at run time, so nothing extra has to
// be linked and a library missing on an old system simply means "not themed".
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "ui/win32/themed_controls.h"

namespace wirepace::ui::win32 {

bool IsThemed(const ThemeQueries& queries) {
    unsigned long major = 0, minor = 0;
    if (!queries.osVersion || !queries.osVersion(major, minor)) major = minor = 0;
    const double version = static_cast<double>(major) + static_cast<double>(minor) / 10.0;
    if (version < 5.1) return false;
    if (!queries.isAppThemed || !queries.isAppThemed()) return false;
    return queries.commonControlsMajor && queries.commonControlsMajor() >= 6;
}

namespace {

// A function of a system library looked up at run time, so nothing extra has to be linked and
// a library missing on an old system simply means "not available".
template <typename Fn>
Fn LookUp(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through the generic function pointer type: the cast between two function types is what
    // GetProcAddress is for.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The records as the system lays them out.
struct VersionInfoA {
    DWORD size, major, minor, build, platform;
    char servicePack[128];
};
static_assert(sizeof(VersionInfoA) == 148);
struct DllVersionInfo {
    DWORD size, major, minor, build, platform;
};
static_assert(sizeof(DllVersionInfo) == 20);
struct CommonControlsInit {
    DWORD size, classes;
};
static_assert(sizeof(CommonControlsInit) == 8);

constexpr DWORD kAllControlClasses = 0x1FFF;  // ICC_LISTVIEW_CLASSES .. ICC_PAGESCROLLER_CLASS

HMODULE CommonControls() {
    // Stays loaded: the control classes it registers must outlive this call.
    static HMODULE module = ::LoadLibraryW(L"comctl32.dll");
    return module;
}

bool SystemIsThemed() {
    ThemeQueries queries;
    queries.osVersion = [](unsigned long& major, unsigned long& minor) {
        using GetVersionExAFn = BOOL(WINAPI*)(VersionInfoA*);
        const auto getVersion =
            LookUp<GetVersionExAFn>(::GetModuleHandleW(L"kernel32.dll"), "GetVersionExA");
        VersionInfoA info{};
        info.size = sizeof info;
        if (!getVersion || !getVersion(&info)) return false;
        major = info.major;
        minor = info.minor;
        return true;
    };
    queries.isAppThemed = [] {
        using IsAppThemedFn = BOOL(WINAPI*)();
        HMODULE theme = ::LoadLibraryW(L"uxtheme.dll");
        const auto isAppThemed = LookUp<IsAppThemedFn>(theme, "IsAppThemed");
        const bool themed = isAppThemed && isAppThemed() != 0;
        if (theme) ::FreeLibrary(theme);
        return themed;
    };
    queries.commonControlsMajor = []() -> unsigned long {
        using DllGetVersionFn = HRESULT(CALLBACK*)(DllVersionInfo*);
        const auto getVersion = LookUp<DllGetVersionFn>(CommonControls(), "DllGetVersion");
        DllVersionInfo info{};
        info.size = sizeof info;
        if (!getVersion || FAILED(getVersion(&info))) return 0;
        return info.major;
    };
    return IsThemed(queries);
}

}  // namespace

namespace {

void RegisterCommonControlClasses(DWORD classes) {
    using InitCommonControlsExFn = BOOL(WINAPI*)(const CommonControlsInit*);
    const auto init = LookUp<InitCommonControlsExFn>(CommonControls(), "InitCommonControlsEx");
    const CommonControlsInit record{sizeof(CommonControlsInit), classes};
    if (init) init(&record);
}

}  // namespace

void EnableThemedControls() {
    if (!SystemIsThemed()) return;
    RegisterCommonControlClasses(kAllControlClasses);
}

void RegisterProgressClass() {
    constexpr DWORD kProgressClass = 0x20;  // ICC_PROGRESS_CLASS
    RegisterCommonControlClasses(kProgressClass);
}

}  // namespace wirepace::ui::win32
