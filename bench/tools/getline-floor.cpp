// getline-floor FILE: the least any line reader built on std::ifstream
// does: a bare std::getline loop into one reused string. It prints only
// the count of lines and bytes, so output costs it nothing.
#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: getline-floor FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::in | std::ios::binary);
  if (!in) {
    std::perror(argv[1]);
    return 1;
  }
  unsigned long lines = 0;
  unsigned long bytes = 0;
  for (std::string line; std::getline(in, line);) {
    ++lines;
    bytes += line.size();
  }
  std::printf("%lu lines, %lu bytes\n", lines, bytes);
  return 0;
}
