# Shared settings for every target of the tree.

# Tests that start programs of this build themselves run them through this:
# qemu-user when the build is for another processor, nothing otherwise.
set(PMX_TEST_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")

# ThreadSanitizer sees the standard library's reference counts only in
# instrumented code. With everything visible, cpprestsdk (not instrumented)
# calls our instrumented copies of the shared_ptr and task templates, and the
# counts it drops order the frees it makes; with hidden copies it keeps its
# own, and every object it frees looks like a race. The thread-sanitizer build
# therefore keeps default visibility, for libraries and programs alike.
if(PMX_SANITIZE MATCHES "thread")
  set(CMAKE_ENABLE_EXPORTS ON)
endif()

# Debian's name for the processor this tree is built for.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(PMX_DEB_ARCH arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
  set(PMX_DEB_ARCH amd64)
else()
  set(PMX_DEB_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()

# cpprestsdk's U() macro collides with GoogleTest; nothing here needs it. It
# stays private to each target, so a host that includes our headers keeps its
# own choice.
set(PMX_COMMON_DEFINES _TURN_OFF_PLATFORM_STRING)

function(pmx_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(PMX_THREAD_SAFETY)
    # A guarded member touched without its lock fails the build.
    target_compile_options(${target} PRIVATE -Wthread-safety -Werror
                           # without it ccache misses every user of a precompiled header
                           "SHELL:-Xclang -fno-pch-timestamp")
  endif()
  target_compile_definitions(${target} PRIVATE ${PMX_COMMON_DEFINES})
endfunction()

# pmx_library(<Name> SOURCES ... [PUBLIC ...] [PRIVATE ...] [CPPREST_PCH] [INTERNAL])
# Builds the shared library pmx_<Name> from common/lib/<Name>, with include/
# as its public header root. Only what the public headers mark with
# PMX_<NAME>_API is exported. INTERNAL also keeps the compiled objects as
# pmx_<Name>_objects, for tests and fuzz targets that reach below the public
# headers: they link the objects instead of the shared library.
function(pmx_library name)
  cmake_parse_arguments(ARG "CPPREST_PCH;INTERNAL" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  set(target pmx_${name})
  if(ARG_INTERNAL)
    set(objects ${target}_objects)
    add_library(${objects} OBJECT ${ARG_SOURCES})
    pmx_library_settings(${objects})
    add_library(${target} SHARED $<TARGET_OBJECTS:${objects}>)
    # Whoever links the objects reaches the private headers too.
    target_include_directories(${objects} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
    if(ARG_CPPREST_PCH)
      pmx_cpprest_pch(${objects})
    endif()
  else()
    add_library(${target} SHARED ${ARG_SOURCES})
    if(ARG_CPPREST_PCH)
      pmx_cpprest_pch(${target})
    endif()
  endif()
  add_library(DockProtocol::${target} ALIAS ${target})
  pmx_library_settings(${target})
  # Installed, it finds its sibling libraries in its own folder.
  set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 1
    INSTALL_RPATH "$ORIGIN")
  set_property(GLOBAL APPEND PROPERTY PMX_INSTALL_TARGETS ${target})
  install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
endfunction()

# Compile and usage settings shared by a library and its object set.
macro(pmx_library_settings target)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  if(NOT PMX_SANITIZE MATCHES "thread")
    set_target_properties(${target} PROPERTIES
      CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  endif()
  pmx_target_defaults(${target})
endmacro()

# The cpprestsdk headers cost seconds per translation unit; compile them once.
function(pmx_cpprest_pch target)
  target_precompile_headers(${target} PRIVATE
    <cpprest/http_client.h> <cpprest/http_listener.h> <cpprest/json.h> <pplx/pplxtasks.h>)
endfunction()

# pmx_test(<name> SOURCES ... LIBS ... TIER unit|integration [CPPREST_PCH])
# TIER labels every case of the program for ctest -L: unit cases use no
# socket and no real time; integration cases use loopback, real sockets,
# processes or namespaces.
function(pmx_test name)
  if(NOT PMX_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "CPPREST_PCH" "TIER" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIER MATCHES "^(unit|integration)$")
    message(FATAL_ERROR "pmx_test(${name}): TIER must be unit or integration")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock_main Threads::Threads)
  pmx_target_defaults(${name})
  if(ARG_CPPREST_PCH)
    pmx_cpprest_pch(${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30
    PROPERTIES TIMEOUT 120 LABELS ${ARG_TIER})
endfunction()
