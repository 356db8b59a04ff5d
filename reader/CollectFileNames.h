// Where a collect file and its temporaries stand. The tools include this
// header too, so that they name the files the reader names.
//
// The collect file is "<work dir>/<prefix>_<number>.lmf". A temporary is
// named "<stem>.<pid>.<16 hex digits>.lmf.tmp" beside it: the stem is the
// collect file's name without ".lmf", shortened when the whole name would
// not fit the directory's NAME_MAX; the hex digits are 64 random bits from
// the kernel. A collect file always ends in ".lmf", so the one glob
// "*.lmf.tmp" matches every temporary and no collect file.
#ifndef READER_COLLECTFILENAMES_H_
#define READER_COLLECTFILENAMES_H_

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "VivodStubCollectReader.h"

namespace vscr {

constexpr char kCollectEnding[] = ".lmf";
constexpr std::size_t kCollectEndingLength = sizeof kCollectEnding - 1;
constexpr char kTemporaryEnding[] = ".lmf.tmp";
constexpr std::size_t kTemporaryEndingLength = sizeof kTemporaryEnding - 1;
constexpr std::size_t kTemporaryRandomDigits = 16;  // 64 bits

// "<prefix>_<number>.lmf". The prefix ends at its first NUL, where a C
// string would end, and the name has no length limit.
inline std::string CollectFileName(const VivodStubCollectReaderInitArgs& args) {
  return std::string(args.collectFilePrefix.c_str()) + "_" +
         std::to_string(args.collectFileNumber) + kCollectEnding;
}

// The separator is always inserted: a doubled "/" is harmless, and the path
// stays the one that earlier readers with the same arguments used.
inline std::string CollectFilePath(const VivodStubCollectReaderInitArgs& args,
                                   const std::string& fileName) {
  return args.workDir + "/" + fileName;
}

// ".<pid>.<random>.lmf.tmp": what follows the stem in a temporary's name.
inline std::string TemporaryTail(pid_t pid, const std::string& random) {
  return "." + std::to_string(pid) + "." + random + kTemporaryEnding;
}

}  // namespace vscr

#endif  // READER_COLLECTFILENAMES_H_
