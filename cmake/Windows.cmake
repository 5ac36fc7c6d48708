# The Windows build (mingw-w64): DLLs carry Windows' own names (CorvaneCommon.dll,
# CommunicationAPI.dll, not lib*.dll), and the installation carries every DLL that the
# program, the agent's library and its module load, short of those that Windows ships.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_SHARED_MODULE_PREFIX "")

# Where the DLLs that the binaries need are found: the dependencies' bin/ and the
# compiler's runtime (libstdc++, libgcc, winpthread).
set(corvane_dll_folders "")
foreach(prefix IN LISTS CORVANE_WINDOWS_PREFIX)
    list(APPEND corvane_dll_folders ${prefix}/bin)
endforeach()
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${runtime} is")
    endif()
    get_filename_component(runtime_folder ${runtime_path} DIRECTORY)
    list(APPEND corvane_dll_folders ${runtime_folder})
endforeach()
list(REMOVE_DUPLICATES corvane_dll_folders)

# DLLs that every Windows has (lower case); a DLL that is neither one of these nor found
# in the folders above stops the installation.
set(corvane_system_dlls "^(api-ms-win-.*|ext-ms-.*|(advapi32|bcrypt|crypt32|gdi32|iphlpapi|kernel32\
|msvcrt|mswsock|netapi32|normaliz|ntdll|odbc32|ole32|oleaut32|rpcrt4|secur32|shell32|shlwapi|user32\
|userenv|version|winhttp|wldap32|ws2_32|wsock32)\\.dll)$")

# The version resources: each of our binaries names the project's version, the company and
# what it is; the program's also carries its manifest. The copyright year is written here,
# not taken from the build's date, so that a rebuild gives the same bytes.
set(CORVANE_COMPANY "Corvane")
set(CORVANE_COPYRIGHT "Copyright (C) 2026 Corvane")
if(PROJECT_VERSION_TWEAK STREQUAL "")
    set(CORVANE_FILE_VERSION ${PROJECT_VERSION}.0)
else()
    set(CORVANE_FILE_VERSION ${PROJECT_VERSION})
endif()
string(REPLACE "." "," CORVANE_RC_VERSION_COMMAS ${CORVANE_FILE_VERSION})

function(corvane_version_resource target description)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "MANIFEST" "")
    get_target_property(type ${target} TYPE)
    set(CORVANE_RC_INTERNAL_NAME ${target})
    set(CORVANE_RC_DESCRIPTION "${description}")
    set(CORVANE_RC_MANIFEST "")
    if(type STREQUAL "EXECUTABLE")
        set(CORVANE_RC_FILE_NAME ${target}.exe)
        set(CORVANE_RC_FILE_TYPE VFT_APP)
    else()
        set(CORVANE_RC_FILE_NAME ${target}.dll)
        set(CORVANE_RC_FILE_TYPE VFT_DLL)
    endif()
    set(rc ${PROJECT_BINARY_DIR}/resources/${target}.rc)
    if(arg_MANIFEST)
        set(manifest ${PROJECT_BINARY_DIR}/resources/${target}.manifest)
        configure_file(${arg_MANIFEST} ${manifest} @ONLY)
        set(CORVANE_RC_MANIFEST "CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"${manifest}\"")
        set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
                                    OBJECT_DEPENDS ${manifest})
    endif()
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/windows/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()

# Called once the program's targets exist.
function(corvane_windows_resources)
    corvane_version_resource(CorvanePing "Corvane Ping Utility"
                             MANIFEST ${PROJECT_SOURCE_DIR}/app/CorvanePing.manifest.in)
    corvane_version_resource(CorvaneCommon "Corvane agent common library")
    corvane_version_resource(CommunicationAPI "Corvane agent communication module")
endfunction()

# Called once the program's targets exist.
function(corvane_install_runtime_dlls)
    install(CODE "
        set(corvane_binaries $<TARGET_FILE:CorvanePing> $<TARGET_FILE:CorvaneCommon>
            $<TARGET_FILE:CommunicationAPI>)
        set(corvane_dll_folders [[${CMAKE_RUNTIME_OUTPUT_DIRECTORY}]] ${corvane_dll_folders})
        set(corvane_system_dlls [[${corvane_system_dlls}]])
        set(corvane_objdump [[${CMAKE_OBJDUMP}]])
        set(corvane_strip [[${CMAKE_STRIP}]])
        include([[${CMAKE_CURRENT_FUNCTION_LIST_DIR}/InstallWindowsDlls.cmake]])
    ")
endfunction()

# Authenticode: the installation (and so the .zip) is signed when a certificate and its
# key are given, with osslsigncode; otherwise it is unsigned, and the build says so.
set(CORVANE_SIGN_CERT "" CACHE FILEPATH
    "PEM file: the certificate that signs the Windows binaries, then its chain")
set(CORVANE_SIGN_KEY "" CACHE FILEPATH "PEM file: the certificate's private key, unencrypted")
if(CORVANE_SIGN_CERT AND CORVANE_SIGN_KEY)
    find_program(CORVANE_OSSLSIGNCODE osslsigncode REQUIRED)
    message(STATUS "Windows binaries: signed at install with ${CORVANE_SIGN_CERT}")
else()
    message(WARNING "CORVANE_SIGN_CERT and CORVANE_SIGN_KEY are not both set: the Windows "
                    "binaries will be installed and packaged unsigned")
endif()

# Called after every other install rule of bin/.
function(corvane_install_signing)
    if(NOT (CORVANE_SIGN_CERT AND CORVANE_SIGN_KEY))
        install(CODE "message(STATUS \"The Windows binaries are not signed\")")
        return()
    endif()
    install(CODE "
        set(corvane_osslsigncode [[${CORVANE_OSSLSIGNCODE}]])
        set(corvane_sign_cert [[${CORVANE_SIGN_CERT}]])
        set(corvane_sign_key [[${CORVANE_SIGN_KEY}]])
        set(corvane_sign_time [[${CORVANE_SOURCE_DATE_EPOCH}]])
        include([[${CMAKE_CURRENT_FUNCTION_LIST_DIR}/SignWindowsBinaries.cmake]])
    ")
endfunction()
