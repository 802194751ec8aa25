# Installs every pmx_ library with its headers and a CMake package, so that a
# host project can use find_package(DockProtocol CONFIG REQUIRED).
include(CMakePackageConfigHelpers)

get_property(pmx_targets GLOBAL PROPERTY PMX_INSTALL_TARGETS)
install(TARGETS ${pmx_targets} EXPORT DockProtocolTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(pmx_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/DockProtocol)
install(EXPORT DockProtocolTargets NAMESPACE DockProtocol:: DESTINATION ${pmx_cmake_dir})
configure_package_config_file(cmake/DockProtocolConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/DockProtocolConfig.cmake
  INSTALL_DESTINATION ${pmx_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/DockProtocolConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/DockProtocolConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/DockProtocolConfigVersion.cmake
  DESTINATION ${pmx_cmake_dir})
