// A bound on how long opening a file may wait.
#pragma once

#include <memory>

namespace platform {

// While it lives, an open by this thread that waits (a FIFO swapped in for a file, with
// no reader) is interrupted within about half a second and fails, instead of holding the
// run for good. For libraries that open files by name with flags of their own. Windows
// has no such files in a folder, and there this does nothing.
class OpenTimeLimit {
  public:
    OpenTimeLimit();
    ~OpenTimeLimit();
    OpenTimeLimit(const OpenTimeLimit&) = delete;
    OpenTimeLimit& operator=(const OpenTimeLimit&) = delete;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
