# cpack: a Debian package of everything installed (qxhost, the host library, the plug-in, the
# manual page, the headers, the CMake package and vemra.pc), or for the Windows build a zip of
# what qxhost.exe needs to run (the GCC runtime is linked into each binary, so no DLL of it).
set(CPACK_PACKAGE_NAME vemra)
set(CPACK_PACKAGE_VENDOR "vemra developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL Runtime)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)  # unpacks into a folder of its own
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "vemra developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  # The libraries' packages from their sonames (dpkg-shlibdeps), which finds the host library
  # in this package through the binaries' $ORIGIN run paths.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Only for building hosts against the headers, which hold file information as boost::any.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libboost-dev (>= 1.74)")
endif()

include(CPack)
