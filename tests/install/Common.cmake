# Helpers shared by the install and consumer test scripts (cmake -P).

# Stops the script unless every named variable was given with -D.
function(vscr_require)
  foreach(name IN LISTS ARGN)
    if(NOT DEFINED ${name})
      message(FATAL_ERROR "${CMAKE_SCRIPT_MODE_FILE}: -D${name}=... is required")
    endif()
  endforeach()
endfunction()

# The build's emulator (CMAKE_CROSSCOMPILING_EMULATOR, given as -DEMULATOR=
# with its words joined by commas; empty or missing in a native build), to
# put before every program of the build that a script starts.
string(REPLACE "," ";" vscr_emulator "${EMULATOR}")

# vscr_run(<what> COMMAND...): runs the command and stops the script with its
# output when it fails. The output goes to OUTPUT_VARIABLE <var> if given.
function(vscr_run what)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT_VARIABLE" "COMMAND")
  execute_process(COMMAND ${arg_COMMAND}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    list(JOIN arg_COMMAND " " command)
    message(FATAL_ERROR "${what} failed (${result}):\n  ${command}\n${output}")
  endif()
  if(arg_OUTPUT_VARIABLE)
    set(${arg_OUTPUT_VARIABLE} "${output}" PARENT_SCOPE)
  endif()
endfunction()
