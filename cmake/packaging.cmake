# The Debian packages, one per component of the install rules:
#   programs     -> tervane: the programs, their data, menu entry and manual pages
#   library      -> libkaltro-client<soname version>: the client library
#   development  -> libkaltro-client-dev: its headers, the unversioned link and
#                   the pkg-config file
# `cpack` in the build directory writes them into <build>/packages.
set(debian_dir ${CMAKE_CURRENT_LIST_DIR}/debian)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${debian_dir}/changelog)

# Writes a copyright file in Debian's machine-readable format for the whole
# tree from the licence file, whose first line is the copyright notice and
# whose remaining paragraphs are the licence text.
function(debian_copyright license_file license_name output)
  file(READ ${license_file} text)
  if(NOT text MATCHES "^Copyright \\(c\\) ([^\n]+)\n\n(.+)$")
    message(FATAL_ERROR "${license_file} does not start with a line \"Copyright (c) <years> <holders>\"")
  endif()
  set(holders "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_2}" body)
  string(REPLACE "\n\n" "\n.\n" body "${body}")
  string(REPLACE "\n" "\n " body "${body}")
  file(WRITE ${output}
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: ${PROJECT_NAME}\n\n"
    "Files: *\n"
    "Copyright: ${holders}\n"
    "License: ${license_name}\n ${body}\n")
endfunction()

# dch and dh_make take the packager from DEBFULLNAME and DEBEMAIL; so do we.
set(default_maintainer "tervane developers <tervane@example.org>")
if(DEFINED ENV{DEBEMAIL} AND DEFINED ENV{DEBFULLNAME})
  set(default_maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
set(TERVANE_PACKAGE_MAINTAINER "${default_maintainer}" CACHE STRING
    "Maintainer field of the Debian packages: Name <address>")

get_target_property(client_soversion kaltro_client SOVERSION)
set(library_package libkaltro-client${client_soversion})
set(TERVANE_PACKAGES tervane ${library_package} libkaltro-client-dev)
set(TERVANE_PACKAGE_COMPONENTS programs library development)

# The changelog's latest entry names the version the packages carry.
file(STRINGS ${debian_dir}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^tervane \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog: the latest entry (${changelog_head}) "
                      "is not for version ${PROJECT_VERSION}; add one for it")
endif()

# Every package carries the copyright file and the changelog, as Debian
# wants them: in /usr/share/doc/<package>, the changelog compressed with
# gzip -9n. They are installed into packages only (a plain install leaves
# them out).
debian_copyright(${PROJECT_SOURCE_DIR}/LICENSE Expat ${CMAKE_BINARY_DIR}/debian/copyright)
set(changelog_gz ${CMAKE_BINARY_DIR}/debian/changelog.gz)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E copy ${debian_dir}/changelog ${CMAKE_BINARY_DIR}/debian/changelog
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/debian/changelog
  DEPENDS ${debian_dir}/changelog
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${changelog_gz})
foreach(component package IN ZIP_LISTS TERVANE_PACKAGE_COMPONENTS TERVANE_PACKAGES)
  install(FILES ${CMAKE_BINARY_DIR}/debian/copyright ${changelog_gz}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

# The library's control files: who provides its soname, and the ldconfig
# trigger that refreshes the loader's cache when it is installed or removed.
configure_file(${debian_dir}/shlibs.in ${CMAKE_BINARY_DIR}/debian/shlibs @ONLY)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tervane)
set(CPACK_PACKAGE_VENDOR "tervane developers")
set(CPACK_PACKAGE_CONTACT "${TERVANE_PACKAGE_MAINTAINER}")
# The packages install under /usr whatever the build's own prefix. They are
# staged with DESTDIR, so the install steps see the prefix /usr itself (the
# pkg-config file writes it into itself).
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_OUTPUT_FILE_PREFIX packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${TERVANE_PACKAGE_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE tervane)
# Run dependencies are read from the binaries; our own library is found in
# the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_LIBRARY_OUTPUT_DIRECTORY}")

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME tervane)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION net)
# iproute2: the neighbour cache (ip neigh). unshare and nsenter, for trying
# the simulator in a namespace, come with util-linux, which every Debian
# system has.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS "${library_package} (= ${PROJECT_VERSION}), iproute2")
# A font for the Chinese texts, and Qt's own texts (message-box buttons) in
# the user's language. The simulator's ONVIF cameras stream through GStreamer
# elements it loads at run time (appsrc and videoconvert, the RTP payloader,
# x264enc), which no library dependency brings.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_RECOMMENDS
    "fonts-noto-cjk, qt6-translations-l10n, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-ugly")
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION [[
Set up, upgrade and test IP cameras on a local network
tervane finds the IP cameras on the local network (with a broadcast search of
its own, and ONVIF's WS-Discovery for other makers' cameras), upgrades and
configures many of them at once, and checks one camera at a time on its test
bench.

This package holds the Qt program tervane, the command-line front end
tervane-cli, and the camera simulator ipcsim with which the tool can be tried
without cameras.]])

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${library_package})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# Its run dependencies come from cmake/cpack_project_config.cmake.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SHLIBDEPS OFF)
set(CPACK_TERVANE_LIBRARY_FILE
    "${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/${CMAKE_SHARED_LIBRARY_PREFIX}kaltro_client${CMAKE_SHARED_LIBRARY_SUFFIX}.${client_soversion}")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project_config.cmake)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA "${CMAKE_BINARY_DIR}/debian/shlibs;${debian_dir}/triggers")
set(library_about [[
libkaltro_client logs in to IP cameras over TCP, reads and writes their
settings, drives their controls, streams firmware to them and delivers their
live video as decoded pictures.
]])
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "Device client library of tervane
${library_about}
This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkaltro-client-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${library_package} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "Device client library of tervane - development files
${library_about}
This package holds the C headers, the link for the linker and the pkg-config
file kaltro_client.")
include(CPack)
