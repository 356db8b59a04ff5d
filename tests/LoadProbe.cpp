// Loads the library named on the command line in a fresh process and
// prints why it could not be loaded, if it could not.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (::dlopen(argv[1], RTLD_NOW) != nullptr) return 0;
  std::puts(::dlerror());
  return 1;
}
