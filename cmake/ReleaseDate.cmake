# VSCR_SOURCE_DATE_EPOCH: the time to which every file of a release is dated
# (the manual pages' date, the packages' file times), so that every build of
# a commit makes the same bytes, from a clone or from a `git archive` export
# alike: SOURCE_DATE_EPOCH when the environment names one, else the date of
# the release's entry in the packaging changelog, as dpkg-buildpackage takes
# it from debian/changelog. The commit's own time is not used: an export has
# no .git to read it from.
set(vscr_changelog ${PROJECT_SOURCE_DIR}/cmake/packaging/changelog.in)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VSCR_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
  return()
endif()

# The trailer line: " -- Name <mail>  Wed, 09 Dec 2026 12:00:00 +0000".
file(STRINGS ${vscr_changelog} vscr_trailer REGEX "^ -- " LIMIT_COUNT 1)
set(vscr_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
if(NOT vscr_trailer MATCHES
    "  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ([0-9][0-9]):([0-9][0-9]):([0-9][0-9]) ([-+])([0-9][0-9])([0-9][0-9])$")
  message(FATAL_ERROR "${vscr_changelog}: no date in the form of Debian's changelog in '${vscr_trailer}'")
endif()
set(vscr_day ${CMAKE_MATCH_1})
list(FIND vscr_months ${CMAKE_MATCH_2} vscr_month)  # 0 for January
if(vscr_month LESS 0)
  message(FATAL_ERROR "${vscr_changelog}: no month ${CMAKE_MATCH_2} in '${vscr_trailer}'")
endif()
set(vscr_year ${CMAKE_MATCH_3})
math(EXPR vscr_seconds_of_day "${CMAKE_MATCH_4} * 3600 + ${CMAKE_MATCH_5} * 60 + ${CMAKE_MATCH_6}")
math(EXPR vscr_offset "${CMAKE_MATCH_8} * 3600 + ${CMAKE_MATCH_9} * 60")
if(CMAKE_MATCH_7 STREQUAL "-")
  math(EXPR vscr_offset "0 - ${vscr_offset}")
endif()
# Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
# days_from_civil): years that begin in March, so that a leap day ends one.
if(vscr_month LESS 2)
  math(EXPR vscr_year "${vscr_year} - 1")
endif()
math(EXPR vscr_era "${vscr_year} / 400")
math(EXPR vscr_year_of_era "${vscr_year} - ${vscr_era} * 400")
math(EXPR vscr_day_of_year "(153 * ((${vscr_month} + 10) % 12) + 2) / 5 + ${vscr_day} - 1")
math(EXPR vscr_day_of_era
  "${vscr_year_of_era} * 365 + ${vscr_year_of_era} / 4 - ${vscr_year_of_era} / 100 + ${vscr_day_of_year}")
math(EXPR VSCR_SOURCE_DATE_EPOCH
  "(${vscr_era} * 146097 + ${vscr_day_of_era} - 719468) * 86400 + ${vscr_seconds_of_day} - ${vscr_offset}")
