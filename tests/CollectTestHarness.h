// A small language for reader tests: temporary working directories, collect
// files written by hand, readers driven to the end of their collect file and
// their walks told as short strings, and conversions of stub collect files.
// Nothing here needs our stand-ins: the collect file is always in place
// before Initialize, so no lookup is made, and these tests run against any
// host's libraries.
#ifndef TESTS_COLLECTTESTHARNESS_H_
#define TESTS_COLLECTTESTHARNESS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "VivodStubCollectReader.h"

// A record of the default seven-field layout with `nameField` as its
// full_file_name field, written as it stands in the line.
std::string Record(const std::string& nameField);

// What one GetItem call gave.
struct Item {
  int result;
  std::string fileName;
  std::string line;
  std::string lastError;
};
// Whether GetItem left both out-parameters as ReadOne passed them.
bool Untouched(const Item& item);

// One GetItem result as a short string: "1 <fileName>", "-1 <m_lastError>"
// or "0", so that a whole walk is asserted at once:
//   EXPECT_EQ(Walk(*reader), (Results{"1 /a", "-1 Retreived empty line from "
//                                     "collect file stubs_42.lmf", "0"}));
std::string Describe(int result, const std::string& fileName, const std::string& lastError);
std::string Describe(const Item& item);
using Results = std::vector<std::string>;
Results Describe(const std::vector<Item>& items);
// As Describe, with a name longer than 64 bytes cut to its first 8 bytes
// and its size, "1 /nnnnnnn... (16777201 bytes)", so that a report or a
// failure stays small.
std::string Brief(const Item& item);

// Sanitizer runtimes keep freed memory in quarantine and map shadow
// memory, so peak RSS says nothing about the reader there.
#if defined(VSCR_SANITIZED_BUILD)
constexpr bool kPeakRssIsMeaningful = false;
#else
constexpr bool kPeakRssIsMeaningful = true;
#endif

class CollectTest : public ::testing::Test {
 public:
  // Calls GetItem until it returns 0 (at most `limit` calls); the 0 is the
  // last item. Out-parameters start as "untouched" each call.
  static std::vector<Item> ReadAll(VivodStubCollectReader& reader, int limit = 1000);
  static Item ReadOne(VivodStubCollectReader& reader);

 protected:
  // Prefix "stubs", number 42, the temporary directory, job "job-1".
  VivodStubCollectReaderInitArgs Args() const;
  std::string CollectPath() const { return m_dir.File("stubs_42.lmf"); }

  // Writes the collect file itself, so that Initialize reuses it.
  void WriteCollectFile(const std::string& bytes) const;
  // Writes a list of archived files for the index service; returns its path.
  std::string WriteInputList(const std::string& lines) const;

  // A reader on `collectBytes`, initialized and opened.
  std::unique_ptr<VivodStubCollectReader> OpenReader(
      const std::string& collectBytes);
  std::unique_ptr<VivodStubCollectReader> OpenReader(
      const std::string& collectBytes, const VivodStubCollectReaderInitArgs& args);

  TempDir m_dir;
};

// Calls GetItem until it returns 0, as CollectTest::ReadAll does, and
// describes each result.
Results Walk(VivodStubCollectReader& reader, int limit = 1000);

// The walk of the records whose line begins in bytes [begin, end), through
// WalkCollectRange: each result as Describe gives it with the offset that
// the walker handed out ("1 /a @16"), and the walker's failure, if any.
struct RangeResults {
  Results results;
  std::string error;
};
RangeResults WalkRange(VivodStubCollectReader& reader, uint64_t begin, uint64_t end);
// The reference for it: GetItem from where the reader stands up to the 0
// (not included), each result with the offset GetSeekOffset tells after it.
RangeResults WalkWhole(VivodStubCollectReader& reader);

// The conversion tests' fixture: a reader on which nothing else is called,
// and a stub collect file and path list in a temporary directory. The log
// writer's lines go to a file, never to the terminal: the host's own
// libDivorar, whose destination we do not choose, writes to standard error.
class ConversionTest : public ::testing::Test {
 protected:
  ConversionTest() : m_reader(VivodStubCollectReaderInitArgs()) {}

  std::string Input() const { return m_dir.File("stubs.txt"); }
  std::string Output() const { return m_dir.File("paths.txt"); }

  // Writes `input` to Input() and converts it into Output().
  bool Convert(const std::string& input, char delimiter = ',');
  // Converts with standard error sent to LogWriterOutput().
  bool ConvertFiles(const std::string& input, const std::string& output, char delimiter = ',');
  std::string LogWriterOutput() const { return m_dir.File("log-writer.err"); }
  // The ProcessStubCollectFile call inside ConvertFiles; a fixture that
  // watches the call wraps it.
  virtual bool CallConversion(const std::string& input, const std::string& output,
                              char delimiter);

  TempDir m_dir;
  VivodStubCollectReader m_reader;
};

#endif  // TESTS_COLLECTTESTHARNESS_H_
