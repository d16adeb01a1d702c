# cmake --install: the executables (and bperp-stack's manual page), the core library and the state-vector
# reader (the io layer) with their headers (under include/bperp/), and a CMake package, so
# that find_package(bperp) gives bperp::core and bperp::reader.
include(CMakePackageConfigHelpers)

set(BPERP_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/bperp)

install(TARGETS bperp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET bperp-stack)
  install(TARGETS bperp-stack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The dynamic program the static bperp-stack hands option lines and
  # module users to, beside it.
  if(TARGET bperp-stack-full)
    install(TARGETS bperp-stack-full RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  install(FILES docs/bperp-stack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# The HDF5 reader beside the tools, where the stack's library looks for it.
if(TARGET bperp-hdf5-reader)
  install(TARGETS bperp-hdf5-reader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The modules (libzip, cairo) in a folder of their own under the library
# folder, which bperp-stack looks in relative to itself (set in src/stack).
if(BPERP_STACK_MODULES)
  install(TARGETS ${BPERP_STACK_MODULES} LIBRARY DESTINATION ${BPERP_MODULE_INSTALL_DIR})
endif()
install(TARGETS bperp_core bperp_reader EXPORT bperpTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
foreach(layer numeric earth geometry baseline io)
  install(DIRECTORY include/bperp/${layer} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bperp)
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/generated/include/bperp/app/state_vector_file.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bperp/app)
install(FILES ${PROJECT_BINARY_DIR}/generated/include/bperp/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bperp)

install(EXPORT bperpTargets NAMESPACE bperp:: DESTINATION ${BPERP_CMAKE_DIR})
configure_package_config_file(cmake/bperpConfig.cmake.in
  ${PROJECT_BINARY_DIR}/bperpConfig.cmake INSTALL_DESTINATION ${BPERP_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/bperpConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/bperpConfig.cmake ${PROJECT_BINARY_DIR}/bperpConfigVersion.cmake
        DESTINATION ${BPERP_CMAKE_DIR})
