# The hardening a Debian package's programs are built with, as dpkg-buildflags
# gives it (stack protector, format checks, _FORTIFY_SOURCE, read-only
# relocations bound at start), added to every target of an optimized build.
# Optimization and debugging stay the build type's: -g and -O come out of
# what dpkg-buildflags says, and so does its file prefix map, which would
# name the folder the build was configured from.  A sanitizer or fuzzing
# build checks the code and has its own flags; it gets none of these, nor
# does a machine without dpkg-buildflags, nor the WebAssembly build.
option(ONDREL_HARDENING "Build with dpkg-buildflags' hardening flags" ON)

find_program(DPKG_BUILDFLAGS dpkg-buildflags)
string(TOUPPER "${CMAKE_BUILD_TYPE}" _ondrel_build_type)
if(ONDREL_HARDENING AND DPKG_BUILDFLAGS AND NOT ONDREL_FUZZ AND NOT EMSCRIPTEN
   AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize"
   AND _ondrel_build_type MATCHES "^(RELEASE|RELWITHDEBINFO|MINSIZEREL)$")
  set(_ondrel_flags)
  foreach(kind CXXFLAGS CPPFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE _ondrel_got OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE _ondrel_status)
    if(NOT _ondrel_status EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed; configure with -DONDREL_HARDENING=OFF to build without it")
    endif()
    separate_arguments(_ondrel_got UNIX_COMMAND "${_ondrel_got}")
    list(FILTER _ondrel_got EXCLUDE REGEX "^(-g.*|-O.*|-ffile-prefix-map=.*|-fdebug-prefix-map=.*)$")
    set(_ondrel_${kind} ${_ondrel_got})
  endforeach()
  add_compile_options(${_ondrel_CXXFLAGS} ${_ondrel_CPPFLAGS})
  add_link_options(${_ondrel_LDFLAGS})
  message(STATUS "Hardening: ${_ondrel_CXXFLAGS} ${_ondrel_CPPFLAGS} ${_ondrel_LDFLAGS}")
endif()
