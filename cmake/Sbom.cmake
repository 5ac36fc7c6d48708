# The bill of materials of a build that carries its dependencies (the release build and
# the Windows build): share/doc/corvaneping/sbom.cdx.json, CycloneDX 1.5, written by
# scripts/sbom.py from the list that scripts/deps.sh keeps beside what it built. The .deb
# and the .tar.gz also name the system libraries the package depends on.
set(corvane_components "")
foreach(prefix IN LISTS CORVANE_BUNDLED_PREFIX CORVANE_WINDOWS_PREFIX)
    if(EXISTS ${prefix}/share/corvaneping-deps/components.tsv)
        set(corvane_components ${prefix}/share/corvaneping-deps/components.tsv)
    endif()
endforeach()

if(corvane_components)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(corvane_system_packages "")
    if(NOT WIN32)
        set(corvane_system_packages libc6 libgcc-s1 libstdc++6 libssl3)
    endif()
    set(corvane_sbom ${PROJECT_BINARY_DIR}/sbom.cdx.json)
    add_custom_command(OUTPUT ${corvane_sbom}
        COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${CORVANE_SOURCE_DATE_EPOCH}
                ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/sbom.py ${corvane_sbom}
                ${PROJECT_NAME} ${PROJECT_VERSION} ${corvane_components} ${corvane_system_packages}
        DEPENDS ${PROJECT_SOURCE_DIR}/scripts/sbom.py ${corvane_components}
        COMMENT "Bill of materials")
    add_custom_target(corvane_sbom ALL DEPENDS ${corvane_sbom})
    install(FILES ${corvane_sbom} DESTINATION share/doc/corvaneping)
endif()
