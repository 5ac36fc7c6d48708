# The same commit builds the same bytes in any folder: file names compiled into the
# binaries (__FILE__ in assertions and log locations, debug information) name the source
# tree as ".", and the dependencies' prefix (a link into the build machine's cache) as
# /deps. The more specific maps come last: GCC uses the last one that matches.
set(corvane_prefix_maps ${PROJECT_SOURCE_DIR}=.)
foreach(prefix IN LISTS CORVANE_BUNDLED_PREFIX CORVANE_WINDOWS_PREFIX)
    get_filename_component(real_prefix ${prefix} REALPATH)
    list(APPEND corvane_prefix_maps ${real_prefix}=/deps ${prefix}=/deps)
endforeach()
list(APPEND corvane_prefix_maps ${PROJECT_BINARY_DIR}=.)
foreach(map IN LISTS corvane_prefix_maps)
    add_compile_options(-ffile-prefix-map=${map})
endforeach()

# The time that archives, resources and the bill of materials carry: the commit's.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE no_commit_time ERROR_QUIET)
    if(no_commit_time OR commit_time STREQUAL "")
        set(commit_time 0)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
endif()
set(CORVANE_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})

if(WIN32)
    # GNU ld writes the link's time into a PE header unless told not to.
    add_link_options(LINKER:--no-insert-timestamp)
endif()

# The build tree's binaries carry the installation's run path ($ORIGIN: they sit together
# in bin/ there too). A build-tree path would be rewritten at install in place, leaving
# the string table as long as the build folder's name.
set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)
