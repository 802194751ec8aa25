# Debian packages (make package): the runtime libraries, a -dev package and
# the tools, for the processor this tree is built for. Dependencies on other
# packages come from dpkg-shlibdeps; those between ours from the components.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pmx-dockprotocol)
set(CPACK_PACKAGE_VENDOR "Camera firmware team")
set(CPACK_PACKAGE_CONTACT "Camera firmware team <firmware@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Camera-side docking library")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(PMX_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PMX_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Our own libraries are found in the build tree and left out of the list:
# the component dependencies below name their package instead.
get_property(pmx_targets GLOBAL PROPERTY PMX_INSTALL_TARGETS)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS)
foreach(target IN LISTS pmx_targets)
  get_target_property(dir ${target} BINARY_DIR)
  list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${dir})
endforeach()

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libpmx-dockprotocol1)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Camera-side docking library: runtime\n.\nThe protocol objects for every dock kind and the sibling libraries\nthey link against.")
# The runtime package tells dpkg-shlibdeps of other packages which package
# provides our libraries.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# dpkg's ldconfig trigger refreshes the loader's cache once per run, instead
# of the ldconfig calls CPack would write into postinst and postrm (naming
# those scripts here stops CPack from writing them; they do not exist, so the
# package has none).
file(WRITE ${CMAKE_BINARY_DIR}/deb-runtime/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/deb-runtime/triggers
  ${CMAKE_BINARY_DIR}/deb-runtime/postinst ${CMAKE_BINARY_DIR}/deb-runtime/postrm)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libpmx-dockprotocol-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "Camera-side docking library: development files\n.\nHeaders, the CMake package DockProtocol and the pkg-config file\ndockprotocol.pc.")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
# The public headers include cpprestsdk's JSON and GSL's span: no binary
# names them, so dpkg-shlibdeps cannot.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libcpprest-dev, libmsgsl-dev")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME pmx-dock-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "Dock simulators and the host tool\n.\ndocksim plays each dock kind; dockhost runs a dock's typical road\nagainst a simulator or a real dock.")
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)

include(CPack)
