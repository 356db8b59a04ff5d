// The public header of release 1.0 as it shipped, its comments left out:
// a host built against it must load and run against any later 1.x library.
#ifndef READER_VIVODSTUBCOLLECTREADER_H_
#define READER_VIVODSTUBCOLLECTREADER_H_

#include <cstdint>
#include <fstream>
#include <string>

#define VIVOD_STUB_COLLECT_READER_EXPORT __attribute__((visibility("default")))

struct VivodStubCollectReaderInitArgs {
  uint32_t collectFileNumber = 0;
  int32_t auxNumber = 0;
  std::string workDir;
  std::string collectFilePrefix;
  std::string fieldList;
  std::string jobId;
  uint32_t lookupParamB = 0;
  uint32_t lookupParamA = 0;
  std::string auxText;
  uint32_t lookupParamC = 0;
  std::string lookupText;
  int32_t fieldCount = 0;
};

class VIVOD_STUB_COLLECT_READER_EXPORT VivodStubCollectReader {
 public:
  explicit VivodStubCollectReader(const VivodStubCollectReaderInitArgs& args);
  ~VivodStubCollectReader();

  VivodStubCollectReader(const VivodStubCollectReader&) = delete;
  VivodStubCollectReader& operator=(const VivodStubCollectReader&) = delete;
  bool Initialize(const std::string& inputFile);
  unsigned long CountLines(const char* path);
  bool Open();
  int GetItem(std::string& fileName, std::string& line);
  bool SetSeekOffset(uint64_t offset);
  bool ProcessStubCollectFile(const std::string& inputFile,
                              const std::string& outputFile, char delimiter);

  VivodStubCollectReaderInitArgs m_args;
  std::ifstream m_collectStream;
  std::string m_dstFileName;
  std::string m_lastError;
  std::string m_reserved;
  bool m_initialized;
  bool m_opened;
  bool m_useIndexCache;
  int32_t m_fieldCount;
};

#endif
