// What NewFile does alike on every platform: who removes its temporary file.
#include <atomic>
#include <cstdlib>

#include "platform/file_write.h"

namespace platform {
namespace {

// The temporary file that exit removes. A console event ends the run through exit on
// another thread while the main thread may be anywhere: whoever takes the pointer out of
// the slot first (Claim, or the exit) owns the file.
std::atomic<NewFile*> g_pending{nullptr};

}  // namespace

void DiscardPendingFileAtExit() {
    if (NewFile* file = g_pending.exchange(nullptr)) file->Discard();
}

void NewFile::Watch() {
    static const bool registered = std::atexit(DiscardPendingFileAtExit) == 0;
    NewFile* none = nullptr;
    watched_ = registered && g_pending.compare_exchange_strong(none, this);
}

bool NewFile::Claim() {
    NewFile* self = this;
    if (!watched_) return true;
    watched_ = false;
    return g_pending.compare_exchange_strong(self, nullptr);
}

NewFile::~NewFile() {
    if (Claim()) Discard();
}

}  // namespace platform
