// Loads the reader the way the host does: dlopen from a folder whose
// sibling ../Base64 holds the host libraries, each under the name the
// reader asks for (its SONAME, which a host SDK may version). This
// executable is linked against none of them, so only the reader's RUNPATH
// can find them.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <new>
#include <string>

#include "ChildProcess.h"
#include "TestFiles.h"
#include "VivodStubCollectReader.h"

namespace {

class HostLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ::mkdir(m_root.File("lib").c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(m_root.File("Base64").c_str(), 0755));
    std::filesystem::copy_file(VSCR_LIBRARY_DIR "/libVivodStubCollectReader.so", ReaderPath());
    for (const char* name : {VSCR_KAUTILS_SONAME, VSCR_LMLIB_SONAME, VSCR_DIVORAR_SONAME}) {
      std::filesystem::copy_file(std::string(VSCR_LIBRARY_DIR "/") + name,
                                 m_root.File("Base64/") + name);
    }
  }
  std::string ReaderPath() const { return m_root.File("lib/libVivodStubCollectReader.so"); }

  TempDir m_root;
};

using Constructor = void (*)(void*, const VivodStubCollectReaderInitArgs&);
using Destructor = void (*)(void*);
using Open = bool (*)(void*);

TEST_F(HostLayout, ReaderLoadsWithHostLibrariesInBase64AndWorks) {
  void* library = ::dlopen(ReaderPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, library) << ::dlerror();
  // The exported members, called the way compiled host code calls them.
  auto construct = reinterpret_cast<Constructor>(
      ::dlsym(library, "_ZN22VivodStubCollectReaderC1ERK30VivodStubCollectReaderInitArgs"));
  auto destroy = reinterpret_cast<Destructor>(::dlsym(library, "_ZN22VivodStubCollectReaderD1Ev"));
  auto open = reinterpret_cast<Open>(::dlsym(library, "_ZN22VivodStubCollectReader4OpenEv"));
  ASSERT_NE(nullptr, construct);
  ASSERT_NE(nullptr, destroy);
  ASSERT_NE(nullptr, open);

  alignas(VivodStubCollectReader) unsigned char storage[sizeof(VivodStubCollectReader)];
  construct(storage, VivodStubCollectReaderInitArgs());
  auto* reader = std::launder(reinterpret_cast<VivodStubCollectReader*>(storage));
  EXPECT_EQ(7, reader->m_fieldCount);
  EXPECT_FALSE(open(storage));
  EXPECT_EQ("Call Initialize() first.", reader->m_lastError);
  destroy(storage);
  EXPECT_EQ(0, ::dlclose(library));
}

// Loads `path` in a fresh process, where no library of the same name has
// been loaded before. Returns why it failed, or "" when it loaded.
std::string LoadErrorInFreshProcess(const std::string& path) {
  const CommandRun probe = RunCommand(ProgramCommand(VSCR_LOAD_PROBE) + " " + ShellQuote(path) + " 2>&1");
  return probe.status == 0 ? probe.out : "failed: " + probe.out;
}

TEST_F(HostLayout, ReaderDoesNotLoadWithoutTheHostLibraries) {
  EXPECT_EQ("", LoadErrorInFreshProcess(ReaderPath()));
  ASSERT_EQ(0, ::unlink(m_root.File("Base64/" VSCR_LMLIB_SONAME).c_str()));
  EXPECT_NE(std::string::npos, LoadErrorInFreshProcess(ReaderPath()).find(VSCR_LMLIB_SONAME));
}

}  // namespace
