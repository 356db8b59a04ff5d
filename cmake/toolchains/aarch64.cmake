# Debian's arm64 build: g++-aarch64-linux-gnu, run under qemu-aarch64 (cmake/toolchains/DebianCross.cmake).
set(vscr_cross_processor aarch64)
set(vscr_cross_triple aarch64-linux-gnu)
set(vscr_cross_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
