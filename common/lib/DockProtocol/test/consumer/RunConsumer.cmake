# Makes this build's Debian packages, unpacks them into a temporary root and
# builds a host program against them twice, with find_package(DockProtocol)
# and with pkg-config alone, then runs both, and the unpacked tools, with an
# empty environment where the program can find its libraries by itself.
foreach(tool dpkg-deb dpkg-shlibdeps pkg-config env)
  find_program(found_${tool} ${tool})
  if(NOT found_${tool})
    message("SKIP: no ${tool} here")
    return()
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(root ${WORK_DIR}/root)
set(libdir ${root}/usr/${LIBDIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

# run_clean(COMMAND...): run() through the build's emulator, with nothing in
# the environment but the sanitizers' settings.
function(run_clean)
  set(keep)
  foreach(name ASAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS)
    if(DEFINED ENV{${name}})
      list(APPEND keep "${name}=$ENV{${name}}")
    endif()
  endforeach()
  run(${found_env} -i ${keep} ${EMULATOR} ${ARGN})
  set(last_output "${last_output}" PARENT_SCOPE)
endfunction()

function(expect_host_output)
  if(NOT last_output MATCHES "Default NotSupported DockProtoIF::ServerInfo --  dnsIp: ")
    message(FATAL_ERROR "unexpected output: ${last_output}")
  endif()
endfunction()

# dpkg-shlibdeps reads the packages' processor from this when it is foreign.
run(${CMAKE_COMMAND} -E env DEB_HOST_ARCH=${DEB_ARCH}
  ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/packages)
file(GLOB debs ${WORK_DIR}/packages/*.deb)
if(NOT debs MATCHES "libpmx-dockprotocol1_" OR NOT debs MATCHES "libpmx-dockprotocol-dev_")
  message(FATAL_ERROR "expected the runtime and dev packages, got: ${debs}")
endif()
foreach(deb IN LISTS debs)
  run(dpkg-deb -x ${deb} ${root})
endforeach()

file(GLOB headers RELATIVE ${root}/usr/include ${root}/usr/include/*/*.h)
set(all_headers ${WORK_DIR}/AllHeaders.cpp)
file(WRITE ${all_headers} "")
foreach(header IN LISTS headers)
  file(APPEND ${all_headers} "#include <${header}>\n")
endforeach()

set(flags)
if(SANITIZE)
  # Libraries built with sanitizers need a host built with the same ones.
  set(flags -fsanitize=${SANITIZE})
endif()

# 1. find_package(DockProtocol)
set(app_flags -DALL_HEADERS=${all_headers})
if(flags)
  list(APPEND app_flags -DCMAKE_CXX_FLAGS=${flags} -DCMAKE_EXE_LINKER_FLAGS=${flags})
endif()
if(TOOLCHAIN)
  list(APPEND app_flags -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run(${CMAKE_COMMAND} -S ${APP_DIR} -B ${WORK_DIR}/app -G Ninja -DCMAKE_PREFIX_PATH=${root}/usr ${app_flags})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/app)
# Its run path names our libraries' folder; theirs lead to their siblings.
run_clean(${WORK_DIR}/app/host_app)
expect_host_output()

# 2. pkg-config dockprotocol
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${libdir}/pkgconfig
  pkg-config --cflags --libs dockprotocol)
separate_arguments(pc_flags UNIX_COMMAND "${last_output}")
# Our libraries lie outside the linker's search path here, as they would in an
# image builder's staging tree: the linker finds the siblings that
# libpmx_DockProtocol needs through that library's own run path.
run(${CXX} -std=c++17 -Wall -Wextra -Werror -pedantic ${flags}
  ${APP_DIR}/main.cpp ${all_headers} ${pc_flags} -o ${WORK_DIR}/host_app_pc)
# pkg-config gives no run path (the same file serves an install in /usr), so
# here the loader is told where the libraries are.
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} ${EMULATOR} ${WORK_DIR}/host_app_pc)
expect_host_output()

# 3. The unpacked tools
if(TOOLS)
  run_clean(${root}/usr/bin/dockhost --help)
  if(NOT last_output MATCHES "Usage:")
    message(FATAL_ERROR "unexpected output: ${last_output}")
  endif()
endif()

file(REMOVE_RECURSE ${WORK_DIR})
