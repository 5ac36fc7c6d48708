# Install-time script (cmake/Windows.cmake includes it through install(CODE)): copies into
# <prefix>/bin every DLL that the given binaries load, directly or through each other,
# found in the given folders. Windows matches DLL names without regard to case, the build
# machine's file system does not, so the names are compared in lower case here.
# Input: corvane_binaries, corvane_dll_folders, corvane_system_dlls (a regular expression
# of the DLLs that Windows ships), corvane_objdump, corvane_strip (used when the install
# strips, as CPack's does).
cmake_policy(VERSION 3.25)  # install scripts start with none set

set(available "")
foreach(folder IN LISTS corvane_dll_folders)
    file(GLOB dlls "${folder}/*.dll")
    foreach(dll IN LISTS dlls)
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" key)
        if(NOT DEFINED dll_${key})
            set(dll_${key} "${dll}")
        endif()
    endforeach()
endforeach()

set(pending ${corvane_binaries})
set(seen "")
set(copy "")
while(pending)
    list(POP_FRONT pending binary)
    execute_process(COMMAND "${corvane_objdump}" -p "${binary}" OUTPUT_VARIABLE dump
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${corvane_objdump} cannot read ${binary}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    foreach(import IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: " "" name "${import}")
        string(STRIP "${name}" name)
        string(TOLOWER "${name}" key)
        if(key IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${key})
        if(DEFINED dll_${key})
            list(APPEND copy "${dll_${key}}")
            list(APPEND pending "${dll_${key}}")
        elseif(NOT key MATCHES "${corvane_system_dlls}")
            message(FATAL_ERROR "${binary} needs ${name}, which is neither found nor part of Windows")
        endif()
    endforeach()
endwhile()

foreach(dll IN LISTS copy)
    # The program's own DLLs are installed by their targets.
    if(NOT dll IN_LIST corvane_binaries)
        file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/bin" TYPE SHARED_LIBRARY FILES "${dll}")
        if(CMAKE_INSTALL_DO_STRIP)
            get_filename_component(name "${dll}" NAME)
            execute_process(COMMAND "${corvane_strip}" "${CMAKE_INSTALL_PREFIX}/bin/${name}")
        endif()
    endif()
endforeach()
