// SPDX-License-Identifier: MIT
// The drone image on Windows: the program resource of type "CUSTOM", id 101, language 1033,
// linked into the controller from the resource script core/DroneImage.cmake generates.
#include <windows.h>

#include "common/error.h"
#include "core/drone_fleet.h"

namespace wirepace {

DroneImage EmbeddedDroneImage() {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceExW(self, L"CUSTOM", MAKEINTRESOURCEW(101),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!found) throw RuntimeError(kErrFileNotFound, "The drone image is missing");
    HGLOBAL loaded = ::LoadResource(self, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes) throw RuntimeError(kErrPathFileAccess, "The drone image cannot be read");
    // Resource memory lives as long as the module; nothing to free.
    return {static_cast<const unsigned char*>(bytes),
            static_cast<std::size_t>(::SizeofResource(self, found))};
}

}  // namespace wirepace
