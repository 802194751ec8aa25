# Installs every pmx_ library with its headers, a CMake package and a
# pkg-config file, so that a host project can use
# find_package(DockProtocol CONFIG REQUIRED) or pkg-config dockprotocol.
# Components: runtime (the shared libraries), dev (headers, link names, the
# CMake package, dockprotocol.pc) and tools (dockhost, docksim).
include(CMakePackageConfigHelpers)

get_property(pmx_targets GLOBAL PROPERTY PMX_INSTALL_TARGETS)
install(TARGETS ${pmx_targets} EXPORT DockProtocolTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(pmx_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/DockProtocol)
install(EXPORT DockProtocolTargets NAMESPACE DockProtocol:: DESTINATION ${pmx_cmake_dir}
  COMPONENT dev)
configure_package_config_file(cmake/DockProtocolConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/DockProtocolConfig.cmake
  INSTALL_DESTINATION ${pmx_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/DockProtocolConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/DockProtocolConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/DockProtocolConfigVersion.cmake
  DESTINATION ${pmx_cmake_dir} COMPONENT dev)

# The .pc file finds its prefix from where it lies, so an unpacked package or
# an image builder's staging tree works without a sysroot setting.
file(RELATIVE_PATH pmx_pc_to_prefix
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/dockprotocol.pc.in ${CMAKE_CURRENT_BINARY_DIR}/dockprotocol.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/dockprotocol.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
