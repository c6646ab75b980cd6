# Installation of what is not a target (the example configuration, the documentation, the
# schemas, the example scenarios) and the Debian package.
#
#   cmake --install BUILD [--prefix DIR]       DESTDIR=STAGE cmake --install BUILD
#   cpack -G DEB --config BUILD/CPackConfig.cmake
#
# The targets install themselves (host/, plugin/, tools/): the daemon library stand-in into
# ${libdir}, the plugin into ${libdir}/korveld, korvel-replay into ${bindir}; the tool finds both
# relative to its own place. The package installs exactly what `cmake --install` does, under the
# configured prefix: configure with -DCMAKE_INSTALL_PREFIX=/usr for a Debian package (libraries
# in /usr/lib/<multiarch>, the configuration in /etc/korveld).

# The configuration follows the prefix (${prefix}/etc) unless the system's place for it is
# elsewhere: /etc for the prefix /usr, or an absolute CMAKE_INSTALL_SYSCONFDIR.
if(CMAKE_INSTALL_FULL_SYSCONFDIR STREQUAL "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SYSCONFDIR}")
  set(KORVEL_INSTALL_CONFDIR ${CMAKE_INSTALL_SYSCONFDIR}/korveld)
else()
  set(KORVEL_INSTALL_CONFDIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/korveld)
endif()
set(KORVEL_CONFIG_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/korveld/korvel-proc-core.json)

install(FILES ${PROJECT_SOURCE_DIR}/examples/korvel-proc-core.json
        DESTINATION ${KORVEL_INSTALL_CONFDIR})

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/documents.md
              ${PROJECT_SOURCE_DIR}/docs/configuration.md ${PROJECT_SOURCE_DIR}/docs/filters.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/schemas/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/schemas
        FILES_MATCHING PATTERN "*.schema.json")

# The installed demo plays with no option: it starts by writing the example configuration as the
# plugin's configuration file (a "config" op), then plays examples/demo.jsonl. It is made again
# whenever either file changes.
set(KORVEL_DEMO_SOURCES ${PROJECT_SOURCE_DIR}/examples/korvel-proc-core.json
                        ${PROJECT_SOURCE_DIR}/examples/demo.jsonl)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KORVEL_DEMO_SOURCES})
file(READ ${PROJECT_SOURCE_DIR}/examples/korvel-proc-core.json korvel_demo_config)
file(READ ${PROJECT_SOURCE_DIR}/examples/demo.jsonl korvel_demo_ops)
# As the text of a JSON string: backslashes, quotes and control characters escaped.
string(REPLACE "\\" "\\\\" korvel_demo_config "${korvel_demo_config}")
string(REPLACE "\"" "\\\"" korvel_demo_config "${korvel_demo_config}")
string(REPLACE "\n" "\\n" korvel_demo_config "${korvel_demo_config}")
string(REPLACE "\t" "\\t" korvel_demo_config "${korvel_demo_config}")
string(REPLACE "\r" "\\r" korvel_demo_config "${korvel_demo_config}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/examples/demo.jsonl @ONLY CONTENT
"# The demo scenario with the example configuration, ready to play with no option:
#   korvel-replay @CMAKE_INSTALL_FULL_DOCDIR@/examples/demo.jsonl
# Its first op writes the example configuration as the plugin's configuration file (the same
# file is installed as @KORVEL_CONFIG_FILE@); the rest is the demo of the source tree.
{\"op\":\"config\",\"text\":\"@korvel_demo_config@\"}

@korvel_demo_ops@")
install(FILES ${PROJECT_BINARY_DIR}/examples/demo.jsonl
              ${PROJECT_SOURCE_DIR}/docs/examples/documents.jsonl
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The Debian package.
set(KORVEL_PACKAGE_MAINTAINER "korvel-proc-core maintainers <maintainers@korvel.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_NAME korvel-proc-core)
set(CPACK_PACKAGE_VENDOR "korvel-proc-core")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Core processor plugin for the korveld network-flow daemon")
set(CPACK_PACKAGE_DESCRIPTION
    "libkorvel-proc-core.so.0 turns korveld's flows, interfaces, packet counters and status into
JSON documents for the daemon's sink plugins. The package also holds a stand-in for the
daemon's library and korvel-replay, which loads the plugin the way the daemon does and plays
scenarios of daemon events against it.")
set(CPACK_PACKAGE_CONTACT "${KORVEL_PACKAGE_MAINTAINER}")
set(CPACK_GENERATOR DEB)
# Binaries without their debugging information.
set(CPACK_STRIP_FILES ON)
# Install into a staging directory with DESTDIR, so that the package holds what
# `DESTDIR=... cmake --install` writes, absolute destinations (/etc) included.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORVEL_PACKAGE_MAINTAINER}")
# Dependencies from the binaries' needs; the daemon library stand-in comes with the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_FULL_LIBDIR})
# The configuration is the administrator's: dpkg keeps local changes on upgrade.
file(WRITE ${PROJECT_BINARY_DIR}/package/conffiles "${KORVEL_CONFIG_FILE}\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/package/conffiles)
include(CPack)
