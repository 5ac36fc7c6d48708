# The developer build takes every dependency from Debian's packages; the release build
# takes them from CORVANE_BUNDLED_PREFIX (see cmake/Bundled.cmake and docs/building.md).
set(CORVANE_BUNDLED_PREFIX "" CACHE PATH
    "Release build: the static dependencies of scripts/deps.sh linux-x86_64")
if(CORVANE_BUNDLED_PREFIX AND NOT WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/Bundled.cmake)
    return()
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(ACE REQUIRED IMPORTED_TARGET ACE)
pkg_check_modules(LOG4CXX REQUIRED IMPORTED_TARGET liblog4cxx)
find_package(Boost 1.74 REQUIRED COMPONENTS program_options)
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(pugixml REQUIRED)
find_package(Threads REQUIRED)
