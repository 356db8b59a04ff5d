// A small language for reader tests: temporary working directories, collect
// files written by hand, and readers driven to the end of their collect file.
// Nothing here needs our stand-ins: the collect file is always in place
// before Initialize, so no lookup is made, and these tests run against any
// host's libraries.
#ifndef TESTS_COLLECTTESTHARNESS_H_
#define TESTS_COLLECTTESTHARNESS_H_

#include <gtest/gtest.h>

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

class CollectTest : public ::testing::Test {
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

  // Calls GetItem until it returns 0 (at most `limit` calls); the 0 is the
  // last item. Out-parameters start as "untouched" each call.
  static std::vector<Item> ReadAll(VivodStubCollectReader& reader, int limit = 1000);
  static Item ReadOne(VivodStubCollectReader& reader);

  TempDir m_dir;
};

#endif  // TESTS_COLLECTTESTHARNESS_H_
