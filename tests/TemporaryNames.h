// The temporaries that Initialize has the index service write, as an
// operator finds them: "<stem>.<pid>.<16 hex digits>.lmf.tmp" beside the
// collect file, the stem being the collect file's name without ".lmf", cut
// short (never inside a UTF-8 sequence) only when the whole name would not
// fit the directory's NAME_MAX.
#ifndef TESTS_TEMPORARYNAMES_H_
#define TESTS_TEMPORARYNAMES_H_

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <string>

// The one glob that the README gives operators.
inline bool MatchesTemporaryGlob(const std::string& name) {
  return ::fnmatch("*.lmf.tmp", name.c_str(), 0) == 0;
}

// Whether `temporary` is a temporary path of `collectPath` made by the
// process `pid`, in a directory that takes names of up to `nameMax` bytes.
inline ::testing::AssertionResult IsTemporaryOf(const std::string& collectPath,
                                                const std::string& temporary, pid_t pid,
                                                std::size_t nameMax = 255) {
  const std::size_t slash = collectPath.rfind('/') + 1;
  if (temporary.compare(0, slash, collectPath, 0, slash) != 0) {
    return ::testing::AssertionFailure() << temporary << " is not beside " << collectPath;
  }
  const std::string name = temporary.substr(slash);
  const std::string stem = collectPath.substr(slash, collectPath.size() - slash - 4);
  const std::string tail = "." + std::to_string(pid) + ".";
  constexpr std::size_t kRandomDigits = 16;
  constexpr std::size_t kEndingLength = 8;  // ".lmf.tmp"
  if (!MatchesTemporaryGlob(name) || name.size() > nameMax ||
      name.size() < tail.size() + kRandomDigits + kEndingLength) {
    return ::testing::AssertionFailure() << name << " is no temporary that fits " << nameMax;
  }
  const std::size_t randomAt = name.size() - kEndingLength - kRandomDigits;
  const std::string random = name.substr(randomAt, kRandomDigits);
  const std::size_t stemLength = randomAt - tail.size();
  if (random.find_first_not_of("0123456789abcdef") != std::string::npos ||
      name.compare(stemLength, tail.size(), tail) != 0) {
    return ::testing::AssertionFailure() << name << " lacks the pid or the random part";
  }
  if (stemLength > stem.size() || name.compare(0, stemLength, stem, 0, stemLength) != 0) {
    return ::testing::AssertionFailure() << name << " does not begin with the stem " << stem;
  }
  // Cut short only when needed, and at the start of a UTF-8 sequence; to
  // nothing when none starts within the room.
  const std::size_t room = nameMax - (name.size() - stemLength);
  const auto continues = [&](std::size_t i) {
    return (static_cast<unsigned char>(stem[i]) & 0xc0) == 0x80;
  };
  bool startsInRoom = false;
  for (std::size_t i = 0; i <= room && i < stem.size(); ++i) startsInRoom |= !continues(i);
  const bool cut = stemLength < stem.size();
  const bool badCut = startsInRoom ? stem.size() + name.size() - stemLength <= nameMax ||
                                          continues(stemLength) || stemLength + 3 < room
                                    : stemLength != 0;
  if (cut && badCut) {
    return ::testing::AssertionFailure() << name << " cuts the stem badly";
  }
  return ::testing::AssertionSuccess();
}

#endif  // TESTS_TEMPORARYNAMES_H_
