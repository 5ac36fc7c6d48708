# Install-time script (cmake/Windows.cmake includes it through install(CODE)): signs every
# .exe and .dll in <prefix>/bin with Authenticode, after the install has stripped them (a
# signature covers the file's bytes). Input: corvane_osslsigncode, corvane_sign_cert (PEM,
# the signing certificate and the chain to its CA), corvane_sign_key (PEM, unencrypted),
# corvane_sign_time (the signing time the signatures carry: the commit's, so that a
# second build signs to the same bytes; without a timestamp server none is added).
cmake_policy(VERSION 3.25)  # install scripts start with none set

file(GLOB binaries "${CMAKE_INSTALL_PREFIX}/bin/*.exe" "${CMAKE_INSTALL_PREFIX}/bin/*.dll")
foreach(binary IN LISTS binaries)
    set(signed "${binary}.signed")
    file(REMOVE "${signed}")
    execute_process(
        COMMAND "${corvane_osslsigncode}" sign -certs "${corvane_sign_cert}"
                -key "${corvane_sign_key}" -time "${corvane_sign_time}" -h sha256 -n "Corvane Ping Utility"
                -in "${binary}" -out "${signed}"
        RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(failed)
        file(REMOVE "${signed}")
        message(FATAL_ERROR "Cannot sign ${binary}:\n${output}")
    endif()
    file(RENAME "${signed}" "${binary}")
endforeach()
list(LENGTH binaries count)
message(STATUS "Signed ${count} binaries with ${corvane_sign_cert}")
