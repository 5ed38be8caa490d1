# Install layout and the Debian package.
#
# Installed programs find the client library beside them in the library
# directory, wherever the tree was installed (set before any target exists,
# since targets take the value when they are created).
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tervane)
set(CPACK_PACKAGE_VENDOR "tervane developers")
set(CPACK_PACKAGE_CONTACT "tervane developers <tervane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Set up, upgrade and test IP cameras on a local network")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "tervane finds IP cameras on the local network, upgrades and configures many of them at once, "
  "and tests one camera at a time. It ships the Qt program tervane, the command-line front end "
  "tervane-cli, the camera simulator ipcsim and the device client library.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The run dependencies are read from the programs themselves; our own
# library is found in the staging tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/bin")
# Namespaces and the neighbour cache (ip), and a font for the Chinese texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "iproute2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, util-linux")
set(CPACK_STRIP_FILES ON)
include(CPack)
