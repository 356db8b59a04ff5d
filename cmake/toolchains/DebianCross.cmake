# A Linux build with one of Debian's cross compilers (g++-<triple>), whose
# programs run on this machine under qemu-user with the target's libraries
# from /usr/<triple>: CTest, the tests and the examples start every built
# program through CMAKE_CROSSCOMPILING_EMULATOR. GoogleTest is the target's
# multiarch package (libgtest-dev:<Debian architecture>), found through the
# library architecture that CMake reads from the compiler.
# The file of each platform sets vscr_cross_processor, vscr_cross_triple and
# vscr_cross_qemu, then includes this one; scripts/install-build-deps.sh
# installs what each needs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${vscr_cross_processor})
set(CMAKE_C_COMPILER ${vscr_cross_triple}-gcc)
set(CMAKE_CXX_COMPILER ${vscr_cross_triple}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR ${vscr_cross_qemu} -L /usr/${vscr_cross_triple})
