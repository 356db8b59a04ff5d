# cmake/ReleaseDate.cmake against dates that `date -d` turned into seconds:
# the date of the packaging changelog's trailer becomes SOURCE_DATE_EPOCH,
# through leap days, the months before March, offsets either side of UTC
# and a century that is no leap year; SOURCE_DATE_EPOCH in the environment
# wins; a trailer without a full date stops the configuration.
#
#   -DSOURCE_DIR=   the project's source folder
#   -DWORK_DIR=     a scratch folder
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(SOURCE_DIR WORK_DIR)

# release_date(<out> <result> <trailer date> [NAME=VALUE...]): what a
# project whose changelog ends in that date gets, in an environment with
# the NAME=VALUE given and no SOURCE_DATE_EPOCH otherwise.
function(release_date out result date)
  set(project ${WORK_DIR}/project)
  file(REMOVE_RECURSE ${project})
  file(WRITE ${project}/cmake/packaging/changelog.in
    "vivodstubcollectreader (1.0) unstable; urgency=medium\n\n  * Release.\n\n -- A Maintainer <a@example.org>  ${date}\n")
  file(WRITE ${project}/print.cmake "set(PROJECT_SOURCE_DIR ${project})
include(${SOURCE_DIR}/cmake/ReleaseDate.cmake)
message(\"\${VSCR_SOURCE_DATE_EPOCH}\")\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH ${ARGN}
                          ${CMAKE_COMMAND} -P ${project}/print.cmake
    RESULT_VARIABLE code OUTPUT_QUIET ERROR_VARIABLE printed)
  string(REGEX REPLACE "[ \n]+" " " printed "${printed}")  # CMake wraps its messages
  string(STRIP "${printed}" printed)
  set(${out} "${printed}" PARENT_SCOPE)
  set(${result} "${code}" PARENT_SCOPE)
endfunction()

set(cases
  "Wed, 09 Dec 2026 12:00:00 +0000=1796817600"
  "Thu, 29 Feb 2024 23:59:59 +0200=1709243999"
  "Fri, 01 Mar 2024 00:00:00 +0000=1709251200"
  "Sat, 01 Jan 2000 00:00:00 -0130=946690200"
  "Mon, 01 Mar 2100 06:07:08 +1400=4107514028"
  "Thu, 31 Dec 1970 23:59:59 +0000=31535999"
  "Sun, 15 Feb 2015 10:20:30 -0800=1424024430"
  "Thu, 1 Jan 1970 00:00:00 +0000=0")
set(failures "")
foreach(case IN LISTS cases)
  string(REGEX REPLACE "=[0-9]+$" "" date "${case}")
  string(REGEX REPLACE "^.*=" "" expected "${case}")
  release_date(epoch result "${date}")
  if(NOT result EQUAL 0 OR NOT epoch STREQUAL expected)
    string(APPEND failures "  '${date}': ${epoch} (exit ${result}), not ${expected}\n")
  endif()
endforeach()

release_date(epoch result "Wed, 09 Dec 2026 12:00:00 +0000" SOURCE_DATE_EPOCH=1234567890)
if(NOT result EQUAL 0 OR NOT epoch STREQUAL "1234567890")
  string(APPEND failures "  SOURCE_DATE_EPOCH=1234567890 in the environment gave ${epoch} (exit ${result})\n")
endif()

foreach(date "Wed, 09 Dec 2026" "Wed, 09 Dez 2026 12:00:00 +0000" "Wed, 09 Dec 2026 12:00:00 UTC")
  release_date(epoch result "${date}")
  if(result EQUAL 0 OR NOT epoch MATCHES "changelog.in: no (date in the form of Debian's changelog|month Dez) in")
    string(APPEND failures "  '${date}' was taken: ${epoch}\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "release dates:\n${failures}")
endif()
