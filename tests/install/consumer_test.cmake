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
# bperp-stack and the Python module from the install find their modules
# (libzip's, cairo's): a zipped product read, a plot drawn.
if(MODULES AND EXISTS ${prefix}/bin/bperp-stack)
  set(zipped ${EXAMPLES}/../tests/data/s1-zipped-safe/S1A_IW_SLC__1SDV_20230108T135249_20230108T135316_046693_0598D3_BA76.zip)
  set(pair ${EXAMPLES}/stack/reference.txt ${EXAMPLES}/stack/20070612.txt)
  run(${prefix}/bin/bperp-stack --format csv ${zipped} ${zipped})
  set(zip_out "${out}")
  run(${prefix}/bin/bperp-stack --plot ${WORK_DIR}/plot.svg ${pair})
  if(zip_out MATCHES "libzip" OR NOT EXISTS ${WORK_DIR}/plot.svg)
    message(FATAL_ERROR "the installed bperp-stack did not read the zipped product or draw the plot:\n${zip_out}")
  endif()
  if(PYTHON)
    file(WRITE ${WORK_DIR}/check_modules.py
         "import bperp\nr = bperp.stack('${zipped}', ['${zipped}'])\n"
         "assert 'libzip' not in repr(list(r.acquisitions['error'])), r.acquisitions['error']\n"
         "bperp.stack('${EXAMPLES}/stack/reference.txt', ['${EXAMPLES}/stack/20070612.txt'], plot='${WORK_DIR}/plot.png')\n")
    run(${PYTHON} ${WORK_DIR}/check_modules.py)
    if(NOT EXISTS ${WORK_DIR}/plot.png)
      message(FATAL_ERROR "the installed Python module drew no plot")
    endif()
  endif()
endif()
message(STATUS "consumer: ${consumer_out}")
