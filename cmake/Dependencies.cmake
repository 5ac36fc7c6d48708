# Every dependency comes from Debian's packages (see README).
find_package(PkgConfig REQUIRED)
pkg_check_modules(ACE REQUIRED IMPORTED_TARGET ACE)
pkg_check_modules(LOG4CXX REQUIRED IMPORTED_TARGET liblog4cxx)
find_package(Boost 1.74 REQUIRED COMPONENTS program_options)
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(pugixml REQUIRED)
find_package(Threads REQUIRED)
