# Every binary we ship must carry what the hardened build puts into it:
# full RELRO with immediate binding, stack protector calls, fortified glibc
# calls (optimised builds), position independence for the programs, and in
# the library the libstdc++ assertions, reported through a handler of its
# own. Each leaves a trace in the binary that we can read back.
#
#   -DREADELF= -DNM=   GNU binutils
#   -DLIBRARY=         the built library
#   -DPROGRAMS=        the built operator programs, comma-separated
#   -DFORTIFY=         whether this build fortifies (ON or OFF)
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../install/Common.cmake)
vscr_require(READELF NM LIBRARY PROGRAMS FORTIFY)
string(REPLACE "," ";" programs "${PROGRAMS}")

set(missing "")
foreach(binary IN LISTS LIBRARY programs)
  vscr_run(readelf COMMAND ${READELF} -dlhW "${binary}" OUTPUT_VARIABLE headers)
  vscr_run(nm COMMAND ${NM} -D --undefined-only "${binary}" OUTPUT_VARIABLE undefined)
  if(NOT headers MATCHES "\\(FLAGS\\)[^\n]*BIND_NOW" AND NOT headers MATCHES "\\(FLAGS_1\\)[^\n]*NOW")
    string(APPEND missing "\n  ${binary}: immediate binding (-z now): no BIND_NOW flag")
  endif()
  if(NOT headers MATCHES "GNU_RELRO")
    string(APPEND missing "\n  ${binary}: RELRO (-z relro): no GNU_RELRO segment")
  endif()
  if(NOT undefined MATCHES "__stack_chk_fail")
    string(APPEND missing "\n  ${binary}: stack protector: no call to __stack_chk_fail")
  endif()
  string(REGEX REPLACE "__stack_chk_fail" "" fortifiable "${undefined}")
  if(FORTIFY AND NOT fortifiable MATCHES "__[a-z_]+_chk")
    string(APPEND missing "\n  ${binary}: _FORTIFY_SOURCE: no fortified glibc call (__*_chk)")
  endif()
  if(NOT binary STREQUAL LIBRARY AND NOT headers MATCHES "\\(FLAGS_1\\)[^\n]*PIE")
    string(APPEND missing "\n  ${binary}: not a position independent executable")
  endif()
endforeach()

# libstdc++ 12 reports a failed assertion through std::__glibcxx_assert_fail.
# The library defines it locally: taken from the host's libstdc++ it would
# need GLIBCXX_3.4.30, which older systems lack.
vscr_run(nm COMMAND ${NM} "${LIBRARY}" OUTPUT_VARIABLE all_symbols)
vscr_run(nm COMMAND ${NM} -D --undefined-only "${LIBRARY}" OUTPUT_VARIABLE undefined)
if(NOT all_symbols MATCHES "[tT] _ZSt21__glibcxx_assert_fail")
  string(APPEND missing "\n  _GLIBCXX_ASSERTIONS: no local assertion handler in the library")
endif()
if(undefined MATCHES "_ZSt21__glibcxx_assert_fail")
  string(APPEND missing "\n  _GLIBCXX_ASSERTIONS: the assertion handler is taken from libstdc++")
endif()
if(missing)
  message(FATAL_ERROR "Binaries without their hardening:${missing}")
endif()
