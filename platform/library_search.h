// Where the system looks for the libraries that the process loads after its start.
#pragma once

namespace platform {

// On Windows, DLLs are looked for only in the executable's folder and in System32: not in
// the working directory, not in the folders of PATH, where others may place a DLL of the
// same name. Call it first of all, before anything loads a library. On POSIX it does
// nothing: the binaries' run path names their own folder.
void RestrictLibrarySearch();

}  // namespace platform
