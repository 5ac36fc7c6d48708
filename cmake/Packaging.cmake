# Packages of an agent installation: bin/ (the program, the agent's library and its
# modules), config/ (logconfig.xml) and log/ (empty). On Linux a .deb that installs
# under /opt/corvane and a .tar.gz of the same layout; on Windows a .zip.
set(CORVANE_PACKAGE_CONTACT "CorvanePing developers <corvaneping@localhost>"
    CACHE STRING "Maintainer named in the packages")

# Where the .deb puts the installation.
set(CORVANE_DEB_PREFIX /opt/corvane)

set(CPACK_PACKAGE_NAME corvaneping)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "${CORVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Corvane Ping Utility: checks the agent's installation and its configuration server")
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

# A logconfig.xml that an operator has changed survives upgrades and removal; purge
# takes it away.
set(CORVANE_CONFFILES "${PROJECT_BINARY_DIR}/packaging/conffiles")
file(WRITE "${CORVANE_CONFFILES}" "${CORVANE_DEB_PREFIX}/config/logconfig.xml\n")
# postinst: the agent's account and group, which may write config/ and log/. postrm: purge
# removes the pinned certificate and the log.
set(CORVANE_DEB_ACCOUNT corvane)
foreach(script postinst postrm)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/${script}.in
                   ${PROJECT_BINARY_DIR}/packaging/${script} @ONLY)
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CORVANE_CONFFILES}"
    "${PROJECT_BINARY_DIR}/packaging/postinst" "${PROJECT_BINARY_DIR}/packaging/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

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
