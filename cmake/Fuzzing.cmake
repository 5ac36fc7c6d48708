# CORVANE_FUZZ=ON builds the libFuzzer targets in tests/fuzz (clang only; testing must be
# on). All code of the build is then compiled with libFuzzer's coverage instrumentation
# and the address and undefined-behaviour sanitizers, so that the fuzzers are guided by
# the code they drive; only the fuzz targets link libFuzzer's driver. Use a build
# directory of its own: the program and the other tests come out instrumented as well.
option(CORVANE_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(CORVANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "CORVANE_FUZZ needs clang: configure with "
                            "-DCMAKE_CXX_COMPILER=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    # The sanitizer runtime also supplies the coverage hooks that instrumented code outside
    # the fuzz targets calls.
    add_link_options(-fsanitize=address,undefined)
endif()

# A fuzz target: an executable whose LLVMFuzzerTestOneInput is driven by libFuzzer.
function(corvane_add_fuzzer name)
    add_executable(${name} ${ARGN})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE corvane_warnings)
endfunction()
