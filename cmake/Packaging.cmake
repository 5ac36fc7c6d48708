# Packages of an agent installation: bin/ (the program, the agent's library and its
# modules), config/ (logconfig.xml) and log/ (empty). On Linux a .deb that installs
# under /opt/corvane and a .tar.gz of the same layout; on Windows a .zip.
# A release names its real maintainer: -DCORVANE_PACKAGE_CONTACT="Name <address>".
set(CORVANE_PACKAGE_CONTACT "CorvanePing maintainers <corvaneping@corvane.example>"
    CACHE STRING "Maintainer named in the packages")

# Where the .deb puts the installation.
set(CORVANE_DEB_PREFIX /opt/corvane)

set(CPACK_PACKAGE_NAME corvaneping)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "${CORVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "checks the log agent's installation and its configuration server")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "CorvanePing is a console utility installed beside the Corvane log-collection
agent. An operator runs it to learn whether the agent's installation is in
order and whether the agent can reach its configuration server: one run
validates install_config.txt, starts the agent's logging, pings the
configuration server once over HTTPS through the agent's own communication
library, prints a fixed plain-text report and ends with an exit status that
tells how far it got.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR DEB TGZ)
endif()

set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends comes from the libraries that the binaries really link (dpkg-shlibdeps finds
# the agent's own library beside them through their $ORIGIN run path).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# postinst: the agent's account and group, which may write config/ and log/, and
# config/logconfig.xml copied from the shipped default where there is none, so that an
# operator's changes survive upgrades and removal (dpkg keeps conffiles only under /etc).
# postrm: purge removes logconfig.xml, the pinned certificate and the log.
set(CORVANE_DEB_ACCOUNT corvane)
foreach(script postinst postrm)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/${script}.in
                   ${PROJECT_BINARY_DIR}/packaging/${script} @ONLY)
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_BINARY_DIR}/packaging/postinst"
    "${PROJECT_BINARY_DIR}/packaging/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The license and notice texts travel with the binaries: the project's own, and in a build
# that carries its dependencies each one's, as scripts/deps.sh took them from the sources
# it built. The .deb also says it Debian's way (packaging/debian/, below).
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION licenses/CorvanePing)
set(corvane_deps_licenses "")
if(corvane_components)
    get_filename_component(corvane_deps_share ${corvane_components} DIRECTORY)
    set(corvane_deps_licenses ${corvane_deps_share}/licenses)
    install(DIRECTORY ${corvane_deps_licenses}/ DESTINATION licenses)
endif()

if(NOT WIN32)
    # Debian's copyright file, the changelog from NEWS.md, and lintian's overrides of the
    # two tags that the design calls for; the .deb alone carries them, under /usr/share
    # (cmake/deb/extras.cmake.in).
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(corvane_deb_docs ${PROJECT_BINARY_DIR}/packaging/debian)
    set(corvane_docs_inputs ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/NEWS.md)
    set(corvane_docs_arguments ${corvane_deb_docs} ${corvane_docs_inputs} ${PROJECT_VERSION}
        "${CORVANE_PACKAGE_CONTACT}")
    if(corvane_deps_licenses)
        list(APPEND corvane_docs_arguments ${corvane_deps_licenses} ${corvane_components})
        list(APPEND corvane_docs_inputs ${corvane_components})
    endif()
    add_custom_command(OUTPUT ${corvane_deb_docs}/copyright ${corvane_deb_docs}/changelog.gz
        COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${CORVANE_SOURCE_DATE_EPOCH}
                ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/package_docs.py
                ${corvane_docs_arguments}
        DEPENDS ${PROJECT_SOURCE_DIR}/scripts/package_docs.py ${corvane_docs_inputs}
        COMMENT "Debian's copyright file and changelog" VERBATIM)
    add_custom_target(corvane_deb_docs ALL
                      DEPENDS ${corvane_deb_docs}/copyright ${corvane_deb_docs}/changelog.gz)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/lintian-overrides
                   ${corvane_deb_docs}/lintian-overrides COPYONLY)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/extras.cmake.in
                   ${PROJECT_BINARY_DIR}/packaging/deb-extras.cmake @ONLY)
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_BINARY_DIR}/packaging/deb-extras.cmake)
endif()

# Only the .deb installs into the system; the archives hold the layout itself.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/packaging/CPackPerGenerator.cmake")
# The archives' times are the commit's (cmake/Reproducible.cmake), unless given.
file(WRITE "${CPACK_PROJECT_CONFIG_FILE}" "
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} ${CORVANE_SOURCE_DATE_EPOCH})
endif()
if(CPACK_GENERATOR STREQUAL \"DEB\")
    set(CPACK_PACKAGING_INSTALL_PREFIX ${CORVANE_DEB_PREFIX})
else()
    set(CPACK_PACKAGING_INSTALL_PREFIX /)
endif()
")

include(CPack)
