# The shipped library must carry what the hardened build puts into it:
# full RELRO with immediate binding, stack protector calls and the libstdc++
# assertions, reported through a handler of its own. Each leaves a trace in the binary that we can read back.
#
#   -DREADELF= -DNM=   GNU binutils
#   -DLIBRARY=         the built library
cmake_minimum_required(VERSION 3.25)
foreach(name IN ITEMS READELF NM LIBRARY)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "-D${name}=... is required")
  endif()
endforeach()

function(run out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${result}): ${errors}")
  endif()
  set(${out} "${output}" PARENT_SCOPE)
endfunction()

run(dynamic ${READELF} -dW "${LIBRARY}")
run(segments ${READELF} -lW "${LIBRARY}")
run(undefined ${NM} -D --undefined-only "${LIBRARY}")

set(missing "")
if(NOT dynamic MATCHES "\\(FLAGS\\)[^\n]*BIND_NOW" AND
   NOT dynamic MATCHES "\\(FLAGS_1\\)[^\n]*NOW")
  string(APPEND missing "\n  immediate binding (-z now): no BIND_NOW flag")
endif()
if(NOT segments MATCHES "GNU_RELRO")
  string(APPEND missing "\n  RELRO (-z relro): no GNU_RELRO segment")
endif()
if(NOT undefined MATCHES "__stack_chk_fail")
  string(APPEND missing "\n  stack protector: no call to __stack_chk_fail")
endif()
# libstdc++ 12 reports a failed assertion through std::__glibcxx_assert_fail.
# The library defines it locally: taken from the host's libstdc++ it would
# need GLIBCXX_3.4.30, which older systems lack.
run(all_symbols ${NM} "${LIBRARY}")
if(NOT all_symbols MATCHES "[tT] _ZSt21__glibcxx_assert_fail")
  string(APPEND missing "\n  _GLIBCXX_ASSERTIONS: no local assertion handler in the library")
endif()
if(undefined MATCHES "_ZSt21__glibcxx_assert_fail")
  string(APPEND missing "\n  _GLIBCXX_ASSERTIONS: the assertion handler is taken from libstdc++")
endif()
if(missing)
  message(FATAL_ERROR "${LIBRARY} lacks hardening:${missing}")
endif()
