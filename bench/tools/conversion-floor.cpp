// conversion-floor [--discard-log] INPUT OUTPUT DELIM: ProcessStubCollectFile
// with nothing but the steps that every conversion must take, through the
// same host library: what the conversion would cost with no reader of ours
// around it. It takes
//   - one EvDebug built from null;
//   - the input read in 128 KiB read calls, lines found with memchr;
//   - the empty-line skip;
//   - one CR or TAB removed from the end of the line;
//   - the first delimiter (memchr), then the last ':' after it (memrchr);
//   - the empty-path skip;
//   - the path cut in place, not copied;
//   - one DebugLvl with the function name, level 2, the format, the path
//     and the output name;
//   - the path and a line feed appended to a large output buffer, written
//     with write.
// It checks nothing but that both files open. --discard-log has the stand-in
// log writer return from each DebugLvl at once, as vscr-convert's does: the
// call is still made, so both sides pay the same.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "EvDebug.h"
#include "HostSettings.h"
#include "NameWriter.h"
#include "standins/EvDebugControl.h"

namespace {

constexpr std::size_t kReadSize = 128 * 1024;
constexpr std::size_t kOutputSize = 1024 * 1024;

struct Conversion {
  char delimiter;
  const char* outputName;
  EvDebug* log;
  bench::NameWriter* paths;  // the path list, gathered in a large buffer
};

// One line, without its line feed. The byte after it is the line feed, or
// spare room past the end of the input, so the path can be cut in place.
void ConvertLine(char* line, std::size_t length, const Conversion& c) {
  if (length == 0) return;
  if (line[length - 1] == '\r' || line[length - 1] == '\t') --length;
  char* const split = static_cast<char*>(std::memchr(line, c.delimiter, length));
  if (split == nullptr) return;
  char* const rest = split + 1;
  const std::size_t restLength = static_cast<std::size_t>(line + length - rest);
  const char* const colon = static_cast<const char*>(::memrchr(rest, ':', restLength));
  const std::size_t pathLength =
      colon != nullptr ? static_cast<std::size_t>(colon - rest) : restLength;
  if (pathLength == 0) return;
  rest[pathLength] = '\0';
  c.log->DebugLvl(vscr::kLogFunction, vscr::kLogLevel, vscr::kLogFormat, rest, c.outputName);
  c.paths->Add(rest, pathLength);
}

char* FindFeed(char* from, char* stop) {
  return static_cast<char*>(std::memchr(from, '\n', static_cast<std::size_t>(stop - from)));
}

void ConvertFile(int input, const Conversion& c) {
  std::vector<char> buffer(2 * kReadSize);
  std::size_t end = 0;  // the unfinished line stands at the front
  for (;;) {
    if (buffer.size() < end + kReadSize + 1) buffer.resize(end + kReadSize + 1);
    const ssize_t n = ::read(input, buffer.data() + end, kReadSize);
    if (n <= 0) break;
    end += static_cast<std::size_t>(n);
    char* line = buffer.data();
    char* const stop = line + end;
    for (char* feed; (feed = FindFeed(line, stop)) != nullptr; line = feed + 1) {
      ConvertLine(line, static_cast<std::size_t>(feed - line), c);
    }
    end = static_cast<std::size_t>(stop - line);
    std::memmove(buffer.data(), line, end);
  }
  ConvertLine(buffer.data(), end, c);  // a last line without a line feed
}

}  // namespace

int main(int argc, char** argv) {
  const bool discard = argc > 1 && std::strcmp(argv[1], "--discard-log") == 0;
  argc -= discard ? 1 : 0;
  argv += discard ? 1 : 0;
  if (argc != 4 || std::strlen(argv[3]) != 1) {
    std::fprintf(stderr, "usage: conversion-floor [--discard-log] INPUT OUTPUT DELIM\n");
    return 2;
  }
  standin::DiscardDebugLines(discard);
  EvDebug log(nullptr);
  const int input = ::open(argv[1], O_RDONLY);
  const int output = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (input < 0 || output < 0) {
    std::perror(input < 0 ? argv[1] : argv[2]);
    return 1;
  }
  {
    bench::NameWriter paths(output, kOutputSize);
    ConvertFile(input, Conversion{argv[3][0], argv[2], &log, &paths});
  }
  ::close(input);
  ::close(output);
  return 0;
}
