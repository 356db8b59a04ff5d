// collect-walk's clean-up after an interrupt removes the temporaries that
// its own process made, and no other: a job in another PID namespace may
// have the same pid and make the same collect file in a shared work dir.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "CollectWalk.h"
#include "TestFiles.h"

namespace {

struct TemporaryCase {
  std::string name;
  bool heldOpen;  // by a descriptor of this process, as the index service holds its output
  bool removed;
};

TEST(OwnTemporaries, OnlyATemporaryOfOursThatWeHoldOpenIsRemoved) {
  const TempDir dir;
  const std::string pid = std::to_string(::getpid());
  const std::string random = ".0123456789abcdef.lmf.tmp";
  const TemporaryCase cases[] = {
      {"stubs_4." + pid + random, true, true},
      {"stu." + pid + random, true, true},  // the stem shortened to fit NAME_MAX
      {"stubs_4." + pid + ".fedcba9876543210.lmf.tmp", false, false},  // the other job's
      {"stubs_4." + std::to_string(::getpid() + 1) + random, true, false},
      {"stubs_40." + pid + random, true, false},
      {"other_4." + pid + random, true, false},
      {"stubs_4." + pid + ".0123456789ABCDEF.lmf.tmp", true, false},
      {"stubs_4." + pid + ".0123456789abcde.lmf.tmp", true, false},
      {"stubs_4.lmf", true, false},
  };
  std::vector<int> held;
  for (const TemporaryCase& c : cases) {
    WriteFile(dir.File(c.name), "1,7,4096,10,/a,1,m\n");
    if (c.heldOpen) held.push_back(::open(dir.File(c.name).c_str(), O_RDONLY | O_CLOEXEC));
  }
  std::vector<std::string> expected;
  for (const TemporaryCase& c : cases) {
    if (c.removed) expected.push_back(dir.File(c.name));
  }
  std::vector<std::string> removed = RemoveOwnTemporaries(dir.File("stubs_4.lmf"));
  std::sort(removed.begin(), removed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, removed);
  for (const TemporaryCase& c : cases) EXPECT_EQ(!c.removed, FileExists(dir.File(c.name))) << c.name;
  for (const int fd : held) ::close(fd);
}

}  // namespace
