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
// at or past the end of the file holds nothing.
//
// Header only: it calls the reader's public operations and exports nothing.
#ifndef READER_VIVODSTUBCOLLECTWALK_H_
#define READER_VIVODSTUBCOLLECTWALK_H_

#include <cstdint>
#include <string>
#include <type_traits>

#include "VivodStubCollectReader.h"

namespace vscr_walk_detail {

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

// Sets the reader to the first line that begins at or after `begin` and
// stores that line's offset in `offset`. False, with m_lastError, when the
// reader cannot be positioned or cannot tell offsets; true with `offset`
// at or past the end when nothing begins there.
inline bool StartCollectRange(VivodStubCollectReader& reader, uint64_t begin,
                              uint64_t& offset) {
  // A collect file that cannot tell its offsets (a FIFO) fails here, before
  // any record, with "Read offset not available.".
  if (!reader.GetSeekOffset(offset)) return false;
  if (begin == 0) {
    offset = 0;
    return reader.SetSeekOffset(0);
  }
  // The line holding byte begin - 1 belongs to an earlier range, unless
  // that byte is its line feed: either way it is read and given up here.
  if (!reader.SetSeekOffset(begin - 1)) return false;
  std::string fileName;
  std::string line;
  if (reader.GetItem(fileName, line) == 0) {
    offset = begin;  // the range begins past the end
    return true;
  }
  const std::string told = reader.m_lastError;
  if (reader.GetSeekOffset(offset)) return true;
  reader.m_lastError = told;  // only a read error fails the stream before a 0
  return false;
}

}  // namespace vscr_walk_detail

// Walks the records of `reader`'s collect file whose line begins in bytes
// [begin, end). `reader` must be Initialized and Open; where it stands does
// not matter. For each record, calls onRecord(fileName, line, next) with the
// values GetItem delivered; for each line that GetItem skips (-1), calls
// onSkip(m_lastError, next). `next` is the offset at which the following
// line begins: store it at a checkpoint, and a later walk with it as `begin`
// resumes exactly after this record (after a last line without a line
// feed, `next` is one past the file's size, and a walk from there holds
// nothing). Either callback may return false to stop the walk at once (the
// walk then returns true).
//
// begin = 0 with `end` past the file's size is a whole walk.
//
// Returns true when the range is done. Returns false, with the reader's
// m_lastError, when the reader cannot be positioned ("Seek failed."), when
// the collect file cannot tell offsets, as a FIFO cannot ("Read offset not
// available."), or on a read error ("Failed to read collect file " and the
// path); the records before it have been handed out. A skipped line's
// message is never the failure.
//
// The offset is kept from the lengths of the lines handed out; GetSeekOffset
// is asked only at the start and after a -1, which hands out no line.
template <typename OnRecord, typename OnSkip>
bool WalkCollectRange(VivodStubCollectReader& reader, uint64_t begin, uint64_t end,
                      OnRecord&& onRecord, OnSkip&& onSkip) {
  uint64_t offset = 0;
  if (!vscr_walk_detail::StartCollectRange(reader, begin, offset)) return false;
  std::string fileName;
  std::string line;
  while (offset < end) {
    const int result = reader.GetItem(fileName, line);
    if (result == 0) return true;
    if (result == 1) {
      offset += line.size() + 1;  // the raw line, a CR included, and its line feed
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

#endif  // READER_VIVODSTUBCOLLECTWALK_H_
