// The host's index lookup service, as this SDK declares it.
#ifndef FOREIGN_SDK_FETCHINDEXINFO_H_
#define FOREIGN_SDK_FETCHINDEXINFO_H_

#include <string>

enum GETINDEXARCHINFO_FLAGS {
  FETCH_FLAGS_NONE = 0,
  FETCH_FLAGS_ARCHIVE_LIST = 0x200,
  FETCH_FLAGS_ALL = 0xffff,
};

class FetchIndexInfo {
 public:
  FetchIndexInfo();
  FetchIndexInfo(const FetchIndexInfo&) = delete;
  FetchIndexInfo& operator=(const FetchIndexInfo&) = delete;
  ~FetchIndexInfo();

  void setInitFlags(unsigned int flags);
  void setCacheType(unsigned int cacheType);
  int initByCurrentJobId(std::string& jobId, unsigned int a, unsigned int b,
                         unsigned int c, std::string text);
  // Writes one record per absolute path listed in `inputFile` (one a line)
  // to `outputPath`, with the comma-separated `fields` joined by `separator`.
  int lookup(const std::string& inputFile, const std::string& outputPath,
             const std::string& fields, std::string separator,
             std::string fifth, GETINDEXARCHINFO_FLAGS flags,
             std::string seventh, unsigned long eighth);

 private:
  unsigned int m_initFlags;
  unsigned int m_cacheType;
  std::string m_jobId;
  char m_scratch[2048];
  bool m_ready;
};

#endif  // FOREIGN_SDK_FETCHINDEXINFO_H_
