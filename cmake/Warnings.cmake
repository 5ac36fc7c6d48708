# Warnings for our own targets; CORVANE_WERROR turns them into errors (CI sets it).
option(CORVANE_WERROR "Treat compiler warnings as errors" OFF)

add_library(corvane_warnings INTERFACE)
target_compile_options(corvane_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                       -Wnon-virtual-dtor -Wconversion -Wsign-conversion)
if(CORVANE_WERROR)
    target_compile_options(corvane_warnings INTERFACE -Werror)
endif()
