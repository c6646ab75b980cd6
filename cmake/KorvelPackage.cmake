# Installation of what is not a target (the example configuration, the documentation, the
# schemas, the example scenarios and capture) and the two Debian packages.
#
#   cmake --install BUILD [--prefix DIR] [--component core|replay]
#   DESTDIR=STAGE cmake --install BUILD
#   cpack -G DEB --config BUILD/CPackConfig.cmake
#
# Two components, one package each:
# - core (korvel-proc-core): the plugin in ${libdir}/korveld, the example configuration, the
#   README, the documents, configuration, filter and packaging references and the schemas in
#   ${docdir};
# - replay (korvel-replay): the tool in ${bindir}, the daemon library stand-in in its private
#   ${libdir}/korvel-replay (never the system's library directory, where the real daemon's
#   library lives), its README and the capture reference in ${datadir}/doc/korvel-replay, the
#   examples in its examples/.
# The tool finds the stand-in and the plugin relative to its own place. The packages install
# exactly what `cmake --install` does, under the configured prefix: configure with
# -DCMAKE_INSTALL_PREFIX=/usr for Debian packages (libraries in /usr/lib/<multiarch>, the
# configuration in /etc/korveld).

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
              ${PROJECT_SOURCE_DIR}/docs/packaging.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The capture source's reference goes with the tool, beside its README (tools/CMakeLists.txt).
install(FILES ${PROJECT_SOURCE_DIR}/docs/capture.md DESTINATION ${KORVEL_REPLAY_DOCDIR}
        COMPONENT replay)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/schemas/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/schemas
        FILES_MATCHING PATTERN "*.schema.json")

# The installed demo scenario plays with no option: it starts by writing the example configuration
# as the plugin's configuration file (a "config" op), then plays examples/demo.jsonl. It is made again
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
set(KORVEL_REPLAY_FULL_DOCDIR ${CMAKE_INSTALL_PREFIX}/${KORVEL_REPLAY_DOCDIR})
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/examples/demo.jsonl @ONLY CONTENT
"# The demo scenario with the example configuration, ready to play with no option:
#   korvel-replay @KORVEL_REPLAY_FULL_DOCDIR@/examples/demo.jsonl
# Its first op writes the example configuration as the plugin's configuration file (the same
# file is installed as @KORVEL_CONFIG_FILE@); the rest is the demo of the source tree.
{\"op\":\"config\",\"text\":\"@korvel_demo_config@\"}

@korvel_demo_ops@")
install(FILES ${PROJECT_BINARY_DIR}/examples/demo.jsonl
              ${PROJECT_SOURCE_DIR}/docs/examples/documents.jsonl
        DESTINATION ${KORVEL_REPLAY_DOCDIR}/examples COMPONENT replay)
# The example capture: korvel-replay --config ${sysconfdir}/korveld/korvel-proc-core.json --pcap
# ${datadir}/doc/korvel-replay/examples/loopback.pcap
install(FILES ${PROJECT_SOURCE_DIR}/examples/loopback.pcap
        DESTINATION ${KORVEL_REPLAY_DOCDIR}/examples COMPONENT replay OPTIONAL)

# The Debian packages, one per component.
set(KORVEL_PACKAGE_MAINTAINER "korvel-proc-core maintainers <maintainers@korvel.invalid>"
    CACHE STRING "Maintainer field of the Debian packages")
set(CPACK_PACKAGE_NAME korvel-proc-core)
set(CPACK_PACKAGE_VENDOR "korvel-proc-core")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KORVEL_PACKAGE_MAINTAINER}")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL core replay)
set(CPACK_COMPONENT_CORE_DESCRIPTION "Core processor plugin for the korveld network-flow daemon
libkorvel-proc-core.so.0 turns korveld's flows, interfaces, packet counters and status into
JSON documents for the daemon's sink plugins. With the example configuration, the documents
reference and the JSON Schemas of the documents.")
set(CPACK_COMPONENT_REPLAY_DESCRIPTION "Runs the korvel-proc-core plugin without the daemon
korvel-replay loads the plugin the way korveld does and plays scenarios of daemon events, or
packet captures tracked into flows as the daemon does, against it, printing every sink call.
It brings a stand-in for the daemon's library in a private directory of its own, and examples.")
set(CPACK_DEBIAN_CORE_PACKAGE_NAME korvel-proc-core)
set(CPACK_DEBIAN_REPLAY_PACKAGE_NAME korvel-replay)
set(CPACK_DEBIAN_REPLAY_PACKAGE_DEPENDS "korvel-proc-core (= ${PROJECT_VERSION})")
# Binaries without their debugging information.
set(CPACK_STRIP_FILES ON)
# Install into a staging directory with DESTDIR, so that the packages hold what
# `DESTDIR=... cmake --install` writes, absolute destinations (/etc) included.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORVEL_PACKAGE_MAINTAINER}")
# Dependencies from the binaries' needs (libpcap, nDPI, zlib and the C++ runtime for the tool). The
# daemon library the plugin needs is the daemon's (korveld's, or the tool's stand-in): it is
# found in the build tree and in the tool's private directory and adds no dependency.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_FULL_LIBDIR}/korvel-replay
    ${PROJECT_BINARY_DIR}/host)
# The configuration is the administrator's: dpkg keeps local changes on upgrade.
file(WRITE ${PROJECT_BINARY_DIR}/package/conffiles "${KORVEL_CONFIG_FILE}\n")
set(CPACK_DEBIAN_CORE_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/package/conffiles)
include(CPack)
