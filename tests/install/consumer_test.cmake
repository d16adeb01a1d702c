# Installs the build tree into a fresh prefix, builds the consumer project
# against the installed package and checks that it prints the example pair's
# baseline exactly as bperp prints it.
#   cmake -DBUILD_DIR=... -DCONSUMER_SOURCE=... -DWORK_DIR=... -DEXAMPLES=...
#         -DCXX=... -P consumer_test.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(header bperp/baseline/baseline_run.h bperp/numeric/arrays.h bperp/app/state_vector_file.h
               bperp/io/state_vector_file.h bperp/version.h)
  if(NOT EXISTS ${prefix}/include/${header})
    message(FATAL_ERROR "not installed: include/${header}")
  endif()
endforeach()
# bperp-stack's manual page beside it, where man finds it.
if(EXISTS ${prefix}/bin/bperp-stack AND NOT EXISTS ${prefix}/share/man/man1/bperp-stack.1)
  message(FATAL_ERROR "not installed: share/man/man1/bperp-stack.1")
endif()
if(EXISTS ${prefix}/include/numeric)
  message(FATAL_ERROR "headers installed without the bperp/ prefix")
endif()

run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer ${EXAMPLES}/master.txt ${EXAMPLES}/slave.txt)
set(consumer_out "${out}")
run(${prefix}/bin/bperp ${EXAMPLES}/master.txt ${EXAMPLES}/slave.txt)
if(NOT consumer_out STREQUAL out)
  message(FATAL_ERROR "the consumer printed\n${consumer_out}\nbut the installed bperp printed\n${out}")
endif()
# The example pair's printed baseline (README).
if(NOT consumer_out STREQUAL "0.244824\n0.208293\n")
  message(FATAL_ERROR "the consumer printed\n${consumer_out}\nnot the example pair's baseline")
endif()
# The Python module from the install: importable with the prefix's
# site directory on the path, the same numbers.
if(PYTHON)
  set(ENV{PYTHONPATH} ${prefix}/${PYTHON_DIR})
  file(WRITE ${WORK_DIR}/check.py
       "import bperp\nr = bperp.baseline('${EXAMPLES}/master.txt', '${EXAMPLES}/slave.txt')\n"
       "print('%f' % r.parallel)\nprint('%f' % r.perpendicular)\n")
  run(${PYTHON} ${WORK_DIR}/check.py)
  if(NOT out STREQUAL consumer_out)
    message(FATAL_ERROR "the installed Python module printed\n${out}")
  endif()
endif()
message(STATUS "consumer: ${consumer_out}")
