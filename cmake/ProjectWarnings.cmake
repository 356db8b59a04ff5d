# Our warning policy, applied PRIVATE to our own targets only: consumers of
# the library never inherit it.
add_library(vscr_warnings INTERFACE)
target_compile_options(vscr_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow
  $<$<BOOL:${VSCR_WARNINGS_AS_ERRORS}>:-Werror>)

# Stricter checks for the code that ships inside the host process.
add_library(vscr_strict_warnings INTERFACE)
target_link_libraries(vscr_strict_warnings INTERFACE vscr_warnings)
target_compile_options(vscr_strict_warnings INTERFACE -Wconversion -Wsign-conversion)
