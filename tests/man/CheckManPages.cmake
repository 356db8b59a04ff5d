# The manual pages that help2man makes from --help, --version and the
# program's .h2m: each has its EXIT STATUS, ENVIRONMENT, FILES and SEE ALSO
# sections, no "Exit status:" subsection of --help's, each exit status of
# the page in the section, and the copyright line of --version.
#
#   -DGZIP=   gzip
#   -DPAGES=  the compressed pages, comma-separated
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../install/Common.cmake)
vscr_require(GZIP PAGES)

string(REPLACE "," ";" pages "${PAGES}")
set(missing "")
foreach(page IN LISTS pages)
  vscr_run("gzip -dc ${page}" COMMAND ${GZIP} -dc "${page}" OUTPUT_VARIABLE text)
  foreach(section [[.SH "EXIT STATUS"]] [[.SH ENVIRONMENT]] [[.SH FILES]] [[.SH "SEE ALSO"]]
                  [[.SH COPYRIGHT]])
    string(FIND "${text}" "\n${section}\n" at)
    if(at EQUAL -1)
      string(APPEND missing "\n  ${page}: no ${section}")
    endif()
  endforeach()
  if(text MATCHES "\n\\.SS \"?Exit status")
    string(APPEND missing "\n  ${page}: --help's exit status made a subsection")
  endif()
  string(REGEX MATCH "\n\\.SH \"EXIT STATUS\"\n.*\n\\.SH ENVIRONMENT" exit "${text}")
  foreach(status 0 1 2)
    if(NOT exit MATCHES "\n\\.B ${status}\n")
      string(APPEND missing "\n  ${page}: exit status ${status} not in EXIT STATUS")
    endif()
  endforeach()
endforeach()
if(missing)
  message(FATAL_ERROR "Manual pages short of their sections:${missing}")
endif()
