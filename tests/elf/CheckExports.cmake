# The library's dynamic symbol table is its whole interface to the host:
# every symbol it defines must be a member of VivodStubCollectReader, and
# every member function the header declares must be there.
#
#   -DNM=       nm (GNU binutils)
#   -DLIBRARY=  the built library
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../install/Common.cmake)
vscr_require(NM LIBRARY)

# The public member functions of the class, as the header declares them;
# constructor and destructor appear once each however many variants exist.
set(expected_members
  CountLines GetItem GetSeekOffset Initialize Open ProcessStubCollectFile SetSeekOffset
  VivodStubCollectReader ~VivodStubCollectReader)

vscr_run(nm COMMAND ${NM} -D --defined-only -C "${LIBRARY}" OUTPUT_VARIABLE symbols)
string(REGEX REPLACE "(^|\n)[0-9a-fA-F]* [A-Za-z] " "\\1" symbols "${symbols}")  # "<value> <type> <name>"
string(REGEX REPLACE "\n$" "" symbols "${symbols}")
string(REPLACE "\n" ";" symbols "${symbols}")
set(members "")
foreach(symbol IN LISTS symbols)
  if(symbol MATCHES "^VivodStubCollectReader::([^(]+)\\(")
    list(APPEND members "${CMAKE_MATCH_1}")
  else()
    string(APPEND strangers "\n  ${symbol}")
  endif()
endforeach()
list(REMOVE_DUPLICATES members)
list(SORT members)
list(SORT expected_members)
if(strangers OR NOT members STREQUAL expected_members)
  message(FATAL_ERROR "${LIBRARY}:\nexported, but not members of the class:${strangers}\n"
    "exported members: ${members}\nexpected members: ${expected_members}")
endif()
list(LENGTH members count)
message(STATUS "${count} members exported, nothing else")
