#include "platform/run_identity.h"

namespace platform {

util::Expected<void> GiveUpRootForOwnerOf(const std::wstring&) {
    return {};
}

}  // namespace platform
