// The host's index lookup service, the way the reader calls it: one
// FetchIndexInfo object per collect file that it has to produce: construct,
// setInitFlags, setCacheType, initByCurrentJobId, lookup, destroy.
//
// The public members are the contract with the host's libLmLib; the
// private ones are our stand-in's layout. Read host/README.md before
// loading a reader built against this header with any other libLmLib.
#ifndef HOST_FETCHINDEXINFO_H_
#define HOST_FETCHINDEXINFO_H_

#include <string>

// Flags of FetchIndexInfo::lookup. The type's name is the host's; the
// enumerators are ours, for the stand-in and tests: the reader passes the
// value 0x200 and names no enumerator, since a host header may name them
// otherwise.
enum GETINDEXARCHINFO_FLAGS : unsigned int {
  GETINDEXARCHINFO_DEFAULT = 0x0,
  GETINDEXARCHINFO_COLLECT = 0x200,
};

class FetchIndexInfo {
 public:
  FetchIndexInfo();
  FetchIndexInfo(const FetchIndexInfo&) = delete;
  FetchIndexInfo& operator=(const FetchIndexInfo&) = delete;
  ~FetchIndexInfo();

  // ORs `flags` into the service's initialisation flag word.
  void setInitFlags(unsigned int flags);
  // Stores the cache type to use for lookups.
  void setCacheType(unsigned int cacheType);
  // Binds the service to the host job. 0 means success.
  int initByCurrentJobId(std::string& jobId, unsigned int a, unsigned int b,
                         unsigned int c, std::string text);
  // Writes to `outputPath` one record per archived file listed in
  // `inputFile`, with the comma-separated `fields` in that order, joined by
  // `separator`. 0 means success: the file exists and holds every record.
  int lookup(const std::string& inputFile, const std::string& outputPath,
             const std::string& fields, std::string separator,
             std::string fifth, GETINDEXARCHINFO_FLAGS flags,
             std::string seventh, unsigned long eighth);

 private:
#ifdef VSCR_HOST_PADDING  // a larger layout, for the check of a foreign host SDK
  [[maybe_unused]] char m_padding[VSCR_HOST_PADDING] = {};
#endif
  unsigned int m_initFlags;
  unsigned int m_cacheType;
  bool m_bound;
};

#endif  // HOST_FETCHINDEXINFO_H_
