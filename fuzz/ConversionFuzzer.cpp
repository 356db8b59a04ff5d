// Fuzzes ProcessStubCollectFile over arbitrary input and delimiter, checked
// against a plain in-memory model of the line rules: the same output bytes
// and one log line per written path. In the fuzz build the line limit and
// the read and write blocks are a few dozen bytes (LineLimits.h), so inputs
// hold lines on both sides of the limit, lines that end blocks after their
// skip began, and paths written straight through.
//
// Input: one delimiter byte, then the stub collect file's bytes.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "LineLimits.h"
#include "TestFiles.h"
#include "VivodStubCollectReader.h"
#include "standins/EvDebugControl.h"

namespace {

// The path list that the line rules give for `input`.
std::vector<std::string> ModelPaths(const std::string& input, char delimiter) {
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (start < input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    std::string line = input.substr(start, end - start);
    start = end + 1;
    // Too long to be a path, whatever it holds: passed over whole, and the
    // line after it is a line of its own.
    if (line.empty() || line.size() > vscr::kMaxLineLength) continue;
    const char last = line[line.size() - 1];
    if (last == '\r' || last == '\t') line.erase(line.size() - 1);
    const std::size_t split = line.find(delimiter);
    if (split == std::string::npos) continue;
    std::string path = line.substr(split + 1);
    const std::size_t colon = path.rfind(':');
    if (colon != std::string::npos) path.erase(colon);
    if (!path.empty()) paths.push_back(path);
  }
  return paths;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  const char delimiter = static_cast<char>(in.Byte());
  const std::string input = in.Rest();
  const std::string inputPath = ProcessTempDir().File("stubs.txt");
  const std::string outputPath = ProcessTempDir().File("paths.txt");
  WriteFile(inputPath, input);

  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
  standin::StartDebugCapture();
  const bool converted = reader.ProcessStubCollectFile(inputPath, outputPath, delimiter);
  const std::vector<standin::DebugEvent> events = standin::StopDebugCapture();
  FUZZ_CHECK(converted);
  FUZZ_CHECK(reader.m_lastError.empty());

  const std::vector<std::string> paths = ModelPaths(input, delimiter);
  std::string expected;
  for (const std::string& path : paths) expected += path + "\n";
  FUZZ_CHECK(ReadFile(outputPath) == expected);

  FUZZ_CHECK(events.size() == paths.size() + 2);
  FUZZ_CHECK(events.front().kind == "construct" && events.back().kind == "destroy");
  for (std::size_t i = 0; i < paths.size(); ++i) {
    // The log writer sees each path as a C string.
    const std::string logged = "Writing " + std::string(paths[i].c_str()) + " to file [" + outputPath + "].";
    FUZZ_CHECK(events[i + 1].kind == "line" && events[i + 1].message == logged);
  }
  return 0;
}
