// The conversion's line table: one stub collect line and the path that it
// adds to the path list. Shared by the output tests and the log tests.
#ifndef TESTS_STUBLINECASES_H_
#define TESTS_STUBLINECASES_H_

#include <string>
#include <vector>

struct StubLineCase {
  std::string line;
  std::string written;  // without its line feed; empty: nothing written
};

inline std::vector<StubLineCase> StubLineCases() {
  return {
      {"17,/data/a.txt:3", "/data/a.txt"},
      {"17,/data/a.txt", "/data/a.txt"},
      {"17,/data/a:b:c", "/data/a:b"},
      {"17,/data/a.txt:3\r", "/data/a.txt"},
      {"17,/data/a.txt\r", "/data/a.txt"},
      {"17,/data/a.txt\t", "/data/a.txt"},
      {"17,/data/a.txt\r\r", "/data/a.txt\r"},
      {"a,b,c", "b,c"},
      {",/x", "/x"},
      {"17,", ""},
      {"17,:3", ""},
      {"17,\r", ""},
      {"", ""},
      {"\r", ""},
      {"/data/a.txt", ""},
      {"17,/100%s%n%d", "/100%s%n%d"},
  };
}

#endif  // TESTS_STUBLINECASES_H_
