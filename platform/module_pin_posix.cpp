#include <dlfcn.h>

#include "platform/module_pin.h"

namespace platform {

void KeepModuleLoaded(const void* address) {
    Dl_info info = {};
    if (dladdr(address, &info) == 0 || !info.dli_fname) return;
    // A module marked no-delete stays, and with it every library it needs; the handle
    // takes no reference of its own worth releasing.
    dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace platform
