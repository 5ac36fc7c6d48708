#include "platform/library_search.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

void RestrictLibrarySearch() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace platform
