// File-status queries.
#pragma once

#include <string>

#include "util/expected.h"

namespace platform {

// True when the status of path can be read: a file, a folder or anything else that
// is there. False for a missing path, a path we may not look at, or a bad path.
bool PathExists(const std::wstring& path);

// True unless path is certainly free: anything there counts, a symbolic link too, whatever
// it points to or fails to point to, and so does a path whose status cannot be read for
// any reason but its absence. For decisions that must fail closed.
bool PathTaken(const std::wstring& path);

// True when path is a regular file, not a link, that only root and this process's user
// may change: one of them owns it, and neither its group nor others may write it. On
// Windows: Administrators, SYSTEM, TrustedInstaller or this process's user owns it, and no
// entry of its access list lets anyone else write, delete or re-permit it.
bool OnlyOwnerMayChange(const std::wstring& path);

// True when path may serve as a log file: a regular file that is no link, or absent. On
// Linux an absent file is made here, empty and without following a link, so that the
// library that opens it by name finds that file rather than whatever a member of the
// group could plant at the free name in between. On Windows its folder must be no
// reparse point either (a member with Modify on the folder could make it a junction), and,
// as a link at a file may not show in its attributes (wine), the file's final path must
// be its folder's and its own name.
bool PrepareLogFile(const std::wstring& path);

// True when path is, now, a regular file (no link) that this process holds open: what a
// library opened by that name is the file that was checked, not whatever a link swapped in
// for the moment of the open pointed at. On Windows, which keeps no such list: a file
// that exists and that PrepareLogFile takes.
bool HeldOpenAsRegularFile(const std::wstring& path);

// The name of the user who owns path (not following a link; the number when the user has
// no name), for advice on who may remove it, or why it cannot be told; on Windows, where
// the access list decides, always the latter.
util::Expected<std::string> OwnerName(const std::wstring& path);

}  // namespace platform
