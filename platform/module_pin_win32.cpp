#include <windows.h>

#include "platform/module_pin.h"

namespace platform {

void KeepModuleLoaded(const void* address) {
    HMODULE module = nullptr;
    // A pinned module stays until the process ends, and with it every DLL it imports.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       static_cast<LPCWSTR>(address), &module);
}

}  // namespace platform
