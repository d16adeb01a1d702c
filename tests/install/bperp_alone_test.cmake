# bperp with nothing but a C++20 compiler and CMake: every optional package
# switched off, the configure must still succeed, name the Debian package of
# each part it leaves out, and build and run bperp on the example pair.
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... -DCXX=... -P bperp_alone_test.cmake
file(REMOVE_RECURSE ${WORK_DIR})

set(optional nlohmann_json CLI11 GTest GeographicLib benchmark pugixml HDF5 pybind11 Python3 PkgConfig)
set(disable)
foreach(name ${optional})
  list(APPEND disable -DCMAKE_DISABLE_FIND_PACKAGE_${name}=ON)
endforeach()

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -DCMAKE_CXX_COMPILER=${CXX} ${disable}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configure failed with the optional packages off:\n${out}\n${err}")
endif()
foreach(package nlohmann-json3-dev libcli11-dev libpugixml-dev libgtest-dev)
  string(FIND "${out}" "${package}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the configure output does not name ${package}:\n${out}")
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target bperp -j2
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "bperp did not build alone:\n${out}\n${err}")
endif()
execute_process(COMMAND ${WORK_DIR}/bperp ${SOURCE_DIR}/examples/master.txt
                        ${SOURCE_DIR}/examples/slave.txt
                RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out STREQUAL "0.244824\n0.208293\n")
  message(FATAL_ERROR "bperp built alone printed (status ${status}):\n${out}")
endif()

# Each package switched off alone: the configure still succeeds (and says
# what it leaves out), so that each switch works by itself.
foreach(name ${optional})
  set(one ${WORK_DIR}-without-${name})
  file(REMOVE_RECURSE ${one})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${one} -DCMAKE_CXX_COMPILER=${CXX}
            -DCMAKE_DISABLE_FIND_PACKAGE_${name}=ON
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  file(REMOVE_RECURSE ${one})
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "configure failed with ${name} alone switched off:\n${out}\n${err}")
  endif()
  # Without pkg-config, no cairo: the plot is left out, its package named.
  if(name STREQUAL "PkgConfig")
    string(FIND "${out}${err}" "libcairo2-dev" at)
    if(at LESS 0)
      message(FATAL_ERROR "the configure without pkg-config does not name libcairo2-dev:\n${out}\n${err}")
    endif()
  endif()
endforeach()
