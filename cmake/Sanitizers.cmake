# CORVANE_SANITIZE=ON builds everything with AddressSanitizer and UndefinedBehaviorSanitizer.
option(CORVANE_SANITIZE "Build with address and undefined-behaviour sanitizers" OFF)

if(CORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
