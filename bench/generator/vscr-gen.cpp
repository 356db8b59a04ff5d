// vscr-gen: writes a benchmark input file.
//
//   vscr-gen collect|stub COUNT SEED OUTPUT
//
// COUNT is a number of lines, or a size such as 100M or 1G: lines are then
// added until the file holds at least that many bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RecordGenerator.h"

namespace {

struct Amount {
  uint64_t lines = 0;  // 0: go by bytes
  uint64_t bytes = 0;
};

bool ParseAmount(const std::string& text, Amount* amount) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  const std::string unit = end;
  if (unit.empty()) {
    amount->lines = value;
  } else if (unit == "K" || unit == "M" || unit == "G") {
    const int shift = unit == "K" ? 10 : unit == "M" ? 20 : 30;
    amount->bytes = value << shift;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Amount amount;
  const std::string kind = argc == 5 ? argv[1] : "";
  if ((kind != "collect" && kind != "stub") || !ParseAmount(argv[2], &amount)) {
    std::fprintf(stderr, "usage: vscr-gen collect|stub COUNT[K|M|G] SEED OUTPUT\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[4], "wb");
  if (out == nullptr) {
    std::perror(argv[4]);
    return 1;
  }
  bench::RecordGenerator generator(std::strtoull(argv[3], nullptr, 10));
  std::string chunk;
  uint64_t written = 0;
  for (uint64_t line = 0; amount.lines != 0 ? line < amount.lines : written < amount.bytes; ++line) {
    if (kind == "collect") {
      generator.AppendCollectRecord(&chunk);
    } else {
      generator.AppendStubLine(&chunk);
    }
    if (chunk.size() >= (1u << 20)) {
      written += std::fwrite(chunk.data(), 1, chunk.size(), out);
      chunk.clear();
    }
    if (amount.lines == 0 && written + chunk.size() >= amount.bytes) break;
  }
  written += std::fwrite(chunk.data(), 1, chunk.size(), out);
  if (std::fclose(out) != 0) {
    std::perror(argv[4]);
    return 1;
  }
  return 0;
}
