// Whose rights a run uses.
#pragma once

#include <string>

#include "util/expected.h"

namespace platform {

// When the process runs as root and folder belongs to another user, gives up root for
// good: the run goes on as that user with the folder's group and no other group. The
// agent's group may write where the run writes (the log, the pin), so root's rights must
// never be steered by what the group wrote. Done also when nothing was to be done;
// otherwise the error says why root could not be given up (the system's words). On
// Windows the folders' access lists guard the installation, and this does nothing.
util::Expected<void> GiveUpRootForOwnerOf(const std::wstring& folder);

}  // namespace platform
