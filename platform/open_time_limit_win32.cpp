#include "platform/open_time_limit.h"

namespace platform {

struct OpenTimeLimit::State {};

OpenTimeLimit::OpenTimeLimit() = default;
OpenTimeLimit::~OpenTimeLimit() = default;

}  // namespace platform
