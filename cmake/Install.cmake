# What a host is built against once installed: a CMake package (find_package(vemra CONFIG):
# vemra::qxio, vemra::plugin, VEMRA_PLUGIN_PATH) and a pkg-config file (vemra.pc). Both find the
# rest of the installation from their own folder, so that a prefix can be moved or unpacked
# anywhere (the Debian package is built for /usr and tested where dpkg-deb -x puts it).
include(CMakePackageConfigHelpers)

set(VEMRA_PLUGIN_FILE "vemra${CMAKE_SHARED_MODULE_SUFFIX}")
set(VEMRA_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/vemra")
set(VEMRA_INSTALL_PKGCONFIGDIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

install(EXPORT vemraTargets NAMESPACE vemra:: DESTINATION ${VEMRA_INSTALL_CMAKEDIR}
        COMPONENT Development)
configure_package_config_file(cmake/package/vemraConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/package/vemraConfig.cmake
                              INSTALL_DESTINATION ${VEMRA_INSTALL_CMAKEDIR}
                              PATH_VARS VEMRA_INSTALL_PLUGINDIR)
# The host and the plug-in share C++ types, so a host takes the same major version only.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/vemraConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/vemraConfig.cmake
              ${PROJECT_BINARY_DIR}/package/vemraConfigVersion.cmake
        DESTINATION ${VEMRA_INSTALL_CMAKEDIR} COMPONENT Development)

file(RELATIVE_PATH VEMRA_PKGCONFIG_TO_PREFIX "/${VEMRA_INSTALL_PKGCONFIGDIR}" "/")
string(REGEX REPLACE "/$" "" VEMRA_PKGCONFIG_TO_PREFIX "${VEMRA_PKGCONFIG_TO_PREFIX}")
configure_file(cmake/package/vemra.pc.in ${PROJECT_BINARY_DIR}/package/vemra.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/vemra.pc DESTINATION ${VEMRA_INSTALL_PKGCONFIGDIR}
        COMPONENT Development)

# Beside qxhost.exe in the Windows zip, with the documentation elsewhere.
if(WIN32)
  install(FILES README.md DESTINATION .)
else()
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
