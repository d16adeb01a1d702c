# The build settings every target of the project carries, set on the target
# (never globally), so that a project that adds this one as a subdirectory
# keeps its own.
set(BPERP_WARNINGS -Wall -Wextra -Wpedantic -Wshadow)

# bperp_target_options(target): C++20 for the target and its users;
# reproducible floating point (no contraction into fused multiply-adds, no
# fast-math) and the warnings for its own sources.
function(bperp_target_options target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_compile_features(${target} PRIVATE cxx_std_20)
  else()
    target_compile_features(${target} PUBLIC cxx_std_20)
  endif()
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE -ffp-contract=off -fno-fast-math ${BPERP_WARNINGS})
  # Each function and datum in a section of its own, so that the static
  # links drop what no program calls (--gc-sections) and a start touches
  # fewer pages.
  if(BPERP_STATIC)
    target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
  endif()
endfunction()

# bperp_missing(what package): a configure message that names the Debian
# package which would build `what`.
function(bperp_missing what package)
  message(STATUS "bperp: ${what} is not built: install ${package} "
                 "(Debian; scripts/install-packages.sh installs every package)")
endfunction()
