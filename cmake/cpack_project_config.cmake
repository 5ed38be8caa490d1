# Read by cpack before it builds the packages.
#
# The library's package takes its run dependencies from dpkg-shlibdeps here:
# CPack's own run would also add ldconfig calls to its maintainer scripts,
# where Debian wants the ldconfig trigger that the package ships instead.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(work "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/library-shlibdeps")
file(MAKE_DIRECTORY "${work}/debian")
file(WRITE "${work}/debian/control" "")
execute_process(
  COMMAND dpkg-shlibdeps -O "${CPACK_TERVANE_LIBRARY_FILE}"
  WORKING_DIRECTORY "${work}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE depends
  ERROR_VARIABLE errors
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0 OR NOT depends MATCHES "^shlibs:Depends=")
  message(FATAL_ERROR "dpkg-shlibdeps ${CPACK_TERVANE_LIBRARY_FILE} failed: ${errors}")
endif()
string(REGEX REPLACE "^shlibs:Depends=" "" CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "${depends}")
