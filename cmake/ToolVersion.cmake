# vscr_tool_version(<target>): what the tool's --version tells, the
# library's version, which host libraries the build used and the copyright
# line of cmake/packaging/copyright, and no folder of the build.
function(vscr_tool_version target)
  if(VSCR_USE_STANDINS)
    set(host "our stand-ins for the host libraries")
  else()
    set(host "a host SDK's libraries")
  endif()
  set(copyright "Copyright (C) 2026 The VivodStubCollectReader authors.")
  target_compile_definitions(${target} PRIVATE
    VSCR_VERSION="${PROJECT_VERSION}" VSCR_HOST_LIBRARIES="${host}"
    VSCR_COPYRIGHT="${copyright}")
endfunction()
