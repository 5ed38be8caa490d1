# Install layout, set before any target exists (targets take these values
# when they are created).
#
# On Debian the library goes to the multiarch directory whatever the prefix:
# the dynamic loader and pkg-config search /usr/lib/<triplet> and
# /usr/local/lib/<triplet> alike, and the package and a hand install then
# lay the library out the same way.
if(EXISTS /etc/debian_version AND CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)

# Installed programs find the client library in the library directory,
# wherever the tree was installed.
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

# Install rules without a component of their own belong to the programs'
# package; the client library names its runtime and development parts.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME programs)
set(TERVANE_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tervane)
