#include "CollectTestHarness.h"

std::string Record(const std::string& nameField) {
  return "1,7,4096,10," + nameField + ",1,";
}

VivodStubCollectReaderInitArgs CollectTest::Args() const {
  VivodStubCollectReaderInitArgs args;
  args.collectFileNumber = 42;
  args.workDir = m_dir.path();
  args.collectFilePrefix = "stubs";
  args.jobId = "job-1";
  return args;
}

void CollectTest::WriteCollectFile(const std::string& bytes) const {
  WriteFile(CollectPath(), bytes);
}

std::string CollectTest::WriteInputList(const std::string& lines) const {
  const std::string path = m_dir.File("input.lst");
  WriteFile(path, lines);
  return path;
}

std::unique_ptr<VivodStubCollectReader> CollectTest::OpenReader(
    const std::string& collectBytes) {
  return OpenReader(collectBytes, Args());
}

std::unique_ptr<VivodStubCollectReader> CollectTest::OpenReader(
    const std::string& collectBytes, const VivodStubCollectReaderInitArgs& args) {
  WriteCollectFile(collectBytes);
  auto reader = std::make_unique<VivodStubCollectReader>(args);
  EXPECT_TRUE(reader->Initialize(WriteInputList("/etc/passwd\n"))) << reader->m_lastError;
  EXPECT_TRUE(reader->Open()) << reader->m_lastError;
  return reader;
}

Item CollectTest::ReadOne(VivodStubCollectReader& reader) {
  Item item{0, "untouched", "untouched", ""};
  item.result = reader.GetItem(item.fileName, item.line);
  item.lastError = reader.m_lastError;
  return item;
}

std::vector<Item> CollectTest::ReadAll(VivodStubCollectReader& reader, int limit) {
  std::vector<Item> items;
  for (int i = 0; i < limit; ++i) {
    items.push_back(ReadOne(reader));
    if (items.back().result == 0) break;
  }
  return items;
}
