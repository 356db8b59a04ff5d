# Debian's s390x build: g++-s390x-linux-gnu, run under qemu-s390x (cmake/toolchains/DebianCross.cmake).
set(vscr_cross_processor s390x)
set(vscr_cross_triple s390x-linux-gnu)
set(vscr_cross_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
