# Debian's ppc64el build: g++-powerpc64le-linux-gnu, run under qemu-ppc64le (cmake/toolchains/DebianCross.cmake).
set(vscr_cross_processor ppc64le)
set(vscr_cross_triple powerpc64le-linux-gnu)
set(vscr_cross_qemu qemu-ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
