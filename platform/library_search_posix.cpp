#include "platform/library_search.h"

namespace platform {

void RestrictLibrarySearch() {}

}  // namespace platform
