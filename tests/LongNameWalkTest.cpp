// Walks collect files whose names run up to 10,000 bytes and checks every
// name, one by one. Host libraries whose classes are larger than the
// headers the reader was built against overrun its stack here, so this walk
// is also what shows such a mismatch (see scripts/foreign-sdk-check.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "CollectField.h"
#include "CollectTestHarness.h"

namespace {

// Name lengths at the edges of inline buffers and line reservations, the
// longest names, and a seeded spread of everything between.
std::vector<std::size_t> NameLengths() {
  std::vector<std::size_t> lengths = {1,    15,   16,   17,   239,  240,  241,  255,  256,
                                      257,  1023, 1024, 1025, 3071, 3072, 3073, 4095, 4096,
                                      4097, 5000, 8191, 8192, 9999, 10000};
  std::mt19937 random(20240611);
  while (lengths.size() < 2000) lengths.push_back(1 + random() % 10000);
  return lengths;
}

// A path of `length` bytes. Every name differs from its neighbours in its
// last bytes, so a name cut short or taken from the wrong record shows.
std::string NameOfLength(std::size_t length, std::size_t index) {
  static const char kBytes[] = "abcdefghijXYZ0123456789/_-. ,\"\\\xc3\xa9";
  std::string name = "/";
  for (std::size_t i = 1; name.size() < length; ++i) {
    name.push_back(kBytes[(i * 7 + index) % (sizeof kBytes - 1)]);
  }
  const std::string tag = "#" + std::to_string(index);
  if (name.size() > tag.size()) name.replace(name.size() - tag.size(), tag.size(), tag);
  return name;
}

// The names of NameLengths(), in order.
std::vector<std::string> Names() {
  const std::vector<std::size_t> lengths = NameLengths();
  std::vector<std::string> names;
  for (std::size_t i = 0; i < lengths.size(); ++i) names.push_back(NameOfLength(lengths[i], i));
  return names;
}

// Whether `items` give `names` in order, then the end.
void ExpectNames(const std::vector<std::string>& names, const std::vector<Item>& items) {
  ASSERT_EQ(names.size() + 1, items.size());
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (items[i].result == 1 && items[i].fileName == names[i]) continue;
    if (++wrong > 10) continue;  // ten are enough to see the pattern
    // Told in short: where the names first differ.
    const auto differ = std::mismatch(names[i].begin(), names[i].end(), items[i].fileName.begin(),
                                      items[i].fileName.end()).first - names[i].begin();
    ADD_FAILURE() << "record " << i << ": name differs (result " << items[i].result << ", "
                  << items[i].fileName.size() << " bytes for " << names[i].size()
                  << ", first difference at byte " << differ << ")";
  }
  EXPECT_EQ(0u, wrong) << "of " << names.size() << " names differ";
  EXPECT_EQ(0, items.back().result);
}

using LongNameWalk = CollectTest;

TEST_F(LongNameWalk, EveryNameUpToTenThousandBytesComesBackWhole) {
  const std::vector<std::string> names = Names();
  std::string collect;
  for (const std::string& name : names) collect += Record(CollectField(name)) + "\n";
  auto reader = OpenReader(collect);
  ExpectNames(names, ReadAll(*reader, 3000));
}

#ifdef VSCR_TEST_HOST_LOOKUP
// The same names, written into the collect file by the host's index service
// from a list of absolute paths, as our stand-in does.
TEST_F(LongNameWalk, NamesWrittenByTheIndexServiceComeBackWhole) {
  const std::vector<std::string> names = Names();
  std::string list;
  for (const std::string& name : names) list += name + "\n";
  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(WriteInputList(list))) << reader.m_lastError;
  ASSERT_TRUE(reader.Open()) << reader.m_lastError;
  ExpectNames(names, ReadAll(reader, 3000));
}
#endif

}  // namespace
