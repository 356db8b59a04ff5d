# The library's dynamic symbol table is its whole interface to the host:
# every symbol it defines must be a member of VivodStubCollectReader, and
# every member function the header declares must be there.
#
#   -DNM=       nm (GNU binutils)
#   -DLIBRARY=  the built library
cmake_minimum_required(VERSION 3.25)
foreach(name IN ITEMS NM LIBRARY)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "-D${name}=... is required")
  endif()
endforeach()

# The public member functions of the class, as the header declares them;
# constructor and destructor appear once each however many variants exist.
set(expected_members
  VivodStubCollectReader ~VivodStubCollectReader
  Initialize CountLines Open GetItem SetSeekOffset GetSeekOffset
  ProcessStubCollectFile)
set(class_prefix "VivodStubCollectReader::")

execute_process(COMMAND ${NM} -D --defined-only -C "${LIBRARY}"
  RESULT_VARIABLE result OUTPUT_VARIABLE symbols ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY} (${result}): ${errors}")
endif()

string(REPLACE "\n" ";" lines "${symbols}")
set(strangers "")
set(members "")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  # "<value> <type> <demangled name>"
  if(NOT line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    string(APPEND strangers "\n  unreadable: ${line}")
    continue()
  endif()
  set(symbol "${CMAKE_MATCH_1}")
  string(FIND "${symbol}" "${class_prefix}" at)
  if(NOT at EQUAL 0)
    string(APPEND strangers "\n  ${symbol}")
    continue()
  endif()
  string(LENGTH "${class_prefix}" skip)
  string(SUBSTRING "${symbol}" ${skip} -1 member)
  string(REGEX REPLACE "\\(.*$" "" member "${member}")
  list(APPEND members "${member}")
endforeach()

list(REMOVE_DUPLICATES members)
list(SORT members)
list(SORT expected_members)
set(report "")
if(strangers)
  string(APPEND report "\nexported, but not members of the class:${strangers}")
endif()
if(NOT members STREQUAL expected_members)
  string(APPEND report "\nexported members: ${members}\nexpected members: ${expected_members}")
endif()
if(report)
  message(FATAL_ERROR "${LIBRARY}:${report}")
endif()
list(LENGTH members count)
message(STATUS "${count} members exported, nothing else")
