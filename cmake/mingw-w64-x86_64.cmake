# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix thread model, which
# gives std::thread and std::mutex). CORVANE_WINDOWS_PREFIX lists the folders that hold the
# Windows builds of the dependencies (scripts/deps.sh makes them); only those and
# the compiler's own folder are searched for libraries, headers and packages, never the
# build machine's /usr.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVANE_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVANE_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_HOST}-windres)

set(CORVANE_WINDOWS_PREFIX "" CACHE STRING "Folders with the Windows builds of the dependencies")
# try_compile projects read this file again: hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVANE_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_HOST} ${CORVANE_WINDOWS_PREFIX})
list(APPEND CMAKE_PREFIX_PATH ${CORVANE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads only the dependencies' .pc files.
set(corvane_pkgconfig_dirs "")
foreach(prefix IN LISTS CORVANE_WINDOWS_PREFIX)
    list(APPEND corvane_pkgconfig_dirs ${prefix}/lib/pkgconfig ${prefix}/share/pkgconfig)
endforeach()
string(REPLACE ";" ":" corvane_pkgconfig_dirs "${corvane_pkgconfig_dirs}")
if(NOT corvane_pkgconfig_dirs)
    set(corvane_pkgconfig_dirs /nonexistent)  # empty would mean the build machine's own
endif()
set(ENV{PKG_CONFIG_LIBDIR} "${corvane_pkgconfig_dirs}")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
