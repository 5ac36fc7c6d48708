// Keeping a loaded module in memory until the process ends.
#pragma once

namespace platform {

// Keeps the module (shared library or DLL) that holds address loaded until the process
// ends, whoever unloads it: a thread may still run its code, such as libcurl's resolver
// thread that a timed-out ping leaves behind. Does nothing when the module is not found.
void KeepModuleLoaded(const void* address);

}  // namespace platform
