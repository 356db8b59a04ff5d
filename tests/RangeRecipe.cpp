#include "RangeRecipe.h"

namespace {

std::string Result(int result, const std::string& text, uint64_t offset) {
  return std::to_string(result) + " " + text + " @" + std::to_string(offset);
}

}  // namespace

RangeResults WalkRange(VivodStubCollectReader& reader, uint64_t begin, uint64_t end) {
  RangeResults range;
  std::string fileName;
  std::string line;
  uint64_t offset = 0;
  if (begin > 0) {
    if (!reader.SetSeekOffset(begin - 1)) {
      range.error = reader.m_lastError;
      return range;
    }
    // The rest of the line that holds byte begin - 1 belongs to an earlier
    // range; only a read error while reading it counts.
    const int first = reader.GetItem(fileName, line);
    if (first == 0) return range;  // the range begins past the end
    const std::string told = reader.m_lastError;
    if (!reader.GetSeekOffset(offset)) {
      range.error = told;
      return range;
    }
  }
  while (offset < end) {
    const int result = reader.GetItem(fileName, line);
    if (result == 0) break;
    if (result == 1) {
      range.results.push_back(Result(1, fileName, offset));
      offset += line.size() + 1;
    } else {
      const std::string told = reader.m_lastError;
      const uint64_t start = offset;
      if (!reader.GetSeekOffset(offset)) {
        range.error = told;
        break;
      }
      range.results.push_back(Result(-1, told, start));
    }
  }
  return range;
}

RangeResults WalkWhole(VivodStubCollectReader& reader) {
  RangeResults whole;
  std::string fileName;
  std::string line;
  for (;;) {
    uint64_t offset = 0;
    if (!reader.GetSeekOffset(offset)) {
      whole.error = reader.m_lastError;
      break;
    }
    const int result = reader.GetItem(fileName, line);
    if (result == 0) break;
    whole.results.push_back(Result(result, result == 1 ? fileName : reader.m_lastError, offset));
  }
  return whole;
}
