// WalkCollectRange walks the records of one byte range of a collect file,
// keeping the offset of the next line as it goes. One function serves a
// whole walk, a parallel walk and a walk resumed from a checkpoint:
//
//   // A whole walk, or a checkpoint's offset to resume at as `begin`:
//   WalkCollectRange(reader, begin, UINT64_MAX,
//       [&](const std::string& name, const std::string& line, uint64_t next) {
//         archive(name, line);
//         if (checkpointDue()) saveProgress(next);
//       },
//       [&](const std::string& message, uint64_t next) { skipped(message); });
//
// The rule of ranges: a record belongs to the range that holds the first
// byte of its line. Cut a collect file at any points 0 = c0 <= c1 <= ... <=
// cN = its size (they need not fall on line starts): every record belongs
// to exactly one range [c(i), c(i+1)), and the walks of the ranges, put
// together in order, give the results of a whole walk. A range that begins
// at or past the end of the file holds nothing, however far past.
//
// Header only, and C++17: it calls the reader's public operations, looks at
// the state of its stream, and exports nothing.
#ifndef READER_VIVODSTUBCOLLECTWALK_H_
#define READER_VIVODSTUBCOLLECTWALK_H_

// Stops an older language at once, with its reason alone.
#if __cplusplus < 201703L
#error "VivodStubCollectWalk.h needs C++17 or later: compile with -std=c++17"
#else

#include <cstdint>
#include <ios>
#include <string>
#include <type_traits>

#include "VivodStubCollectReader.h"

namespace vscr_walk_detail {

constexpr char kWalkedToEnd[] =
    "Collect file already read to its end; walk it with a new reader.";
constexpr char kSizeUnknown[] = "Seek failed.";

// A callback may return void (always go on) or a bool (false stops the walk).
template <typename Callback, typename... Args>
bool GoesOn(Callback& callback, Args&&... args) {
  if constexpr (std::is_void_v<decltype(callback(args...))>) {
    callback(args...);
    return true;
  } else {
    return static_cast<bool>(callback(args...));
  }
}

enum class Start { kFailed, kEmpty, kAtLine };

// Sets the reader to the first line that begins at or after `begin` and
// stores that line's offset in `offset`: kAtLine. kEmpty when no line
// begins there; kFailed, with m_lastError, when the reader cannot be
// positioned or cannot tell offsets. Only kFailed changes m_lastError.
inline Start StartCollectRange(VivodStubCollectReader& reader, uint64_t begin,
                               uint64_t& offset) {
  // A collect file that cannot tell its offsets (a FIFO) fails here, before
  // any record, with "Read offset not available.". So does a stream that an
  // earlier walk read to its end, which stays failed: that is told apart.
  if (!reader.GetSeekOffset(offset)) {
    const std::ifstream& stream = reader.m_collectStream;
    if (stream.eof() && !stream.bad()) reader.m_lastError = kWalkedToEnd;
    return Start::kFailed;
  }
  // The size comes from the stream buffer, which a failed seek does not
  // fail: a seek far past the end (ext4 refuses 16 TiB and more) would
  // fail the stream, and a range there holds nothing anyway.
  const std::streamoff size =
      reader.m_collectStream.rdbuf()->pubseekoff(0, std::ios::end, std::ios::in);
  if (size < 0) {
    reader.m_lastError = kSizeUnknown;
    return Start::kFailed;
  }
  if (begin > 0 && begin >= static_cast<uint64_t>(size)) return Start::kEmpty;
  if (begin == 0) {
    offset = 0;
    return reader.SetSeekOffset(0) ? Start::kAtLine : Start::kFailed;
  }
  // The line holding byte begin - 1 belongs to an earlier range, unless
  // that byte is its line feed: either way it is read and given up here,
  // message and all.
  if (!reader.SetSeekOffset(begin - 1)) return Start::kFailed;
  const std::string before = reader.m_lastError;
  std::string fileName;
  std::string line;
  reader.GetItem(fileName, line);  // not 0: begin - 1 lies inside the file
  const std::string told = reader.m_lastError;
  reader.m_lastError = before;
  if (reader.GetSeekOffset(offset)) return Start::kAtLine;
  reader.m_lastError = told;  // only a read error fails the stream there
  return Start::kFailed;
}

// Where the line after a record begins: after its line feed, or at the end
// of the file after a last line without one.
inline uint64_t OffsetAfter(const VivodStubCollectReader& reader, uint64_t offset,
                            const std::string& line) {
  return offset + line.size() + (reader.m_collectStream.eof() ? 0 : 1);
}

}  // namespace vscr_walk_detail

// Walks the records of `reader`'s collect file whose line begins in bytes
// [begin, end). `reader` must be Initialized and Open; where it stands does
// not matter, and a walk that stopped early may be followed by another.
// For each record, calls onRecord(fileName, line, next) with the values
// GetItem delivered; for each line that GetItem skips (-1), calls
// onSkip(m_lastError, next). `next` is the offset at which the following
// line begins, the one GetSeekOffset would tell (after a last line without
// a line feed, the file's size): store it at a checkpoint, and a later walk
// with it as `begin` resumes exactly after this record. Either callback
// may return false to stop the walk at once (the walk then returns true).
//
// A callback must leave `reader` where the walker put it: it must not call
// GetItem, SetSeekOffset or Open on it, nor destroy it, as the walker keeps
// the offset itself and would hand out wrong ones. Reading m_lastError and
// calling GetSeekOffset are fine.
//
// begin = 0 with `end` past the file's size is a whole walk. A walk that
// read to the end of the file (GetItem gave 0) leaves the reader's stream
// failed, as GetItem always does: a further walk on that reader fails with
// "Collect file already read to its end; walk it with a new reader."
// (Initialize on a new reader reuses the collect file as it stands).
//
// Returns true when the range is done, leaving m_lastError as it was
// unless a skipped line's message was handed to onSkip. Returns false,
// with the reader's m_lastError, when the reader cannot be positioned
// ("Seek failed."), when the collect file cannot tell offsets, as a FIFO
// cannot ("Read offset not available."), after a walk to the end (above),
// or on a read error ("Failed to read collect file " and the path); the
// records before it have been handed out. A skipped line's message is
// never the failure.
//
// The offset is kept from the lengths of the lines handed out; GetSeekOffset
// is asked only at the start and after a -1, which hands out no line.
template <typename OnRecord, typename OnSkip>
bool WalkCollectRange(VivodStubCollectReader& reader, uint64_t begin, uint64_t end,
                      OnRecord&& onRecord, OnSkip&& onSkip) {
  uint64_t offset = 0;
  const vscr_walk_detail::Start start = vscr_walk_detail::StartCollectRange(reader, begin, offset);
  if (start != vscr_walk_detail::Start::kAtLine) return start == vscr_walk_detail::Start::kEmpty;
  std::string fileName;
  std::string line;
  while (offset < end) {
    const int result = reader.GetItem(fileName, line);
    if (result == 0) return true;
    if (result == 1) {
      offset = vscr_walk_detail::OffsetAfter(reader, offset, line);  // a CR is part of the line
      if (!vscr_walk_detail::GoesOn(onRecord, fileName, line, offset)) return true;
      continue;
    }
    const std::string told = reader.m_lastError;
    if (!reader.GetSeekOffset(offset)) {
      reader.m_lastError = told;  // a read error: this -1 told it
      return false;
    }
    if (!vscr_walk_detail::GoesOn(onSkip, told, offset)) return true;
  }
  return true;
}

#endif  // C++17
#endif  // READER_VIVODSTUBCOLLECTWALK_H_
