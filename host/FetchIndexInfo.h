// Declaration of the host's index lookup service, as the host's libLmLib
// provides it. The reader uses one FetchIndexInfo object per collect file
// that it has to produce: construct, setInitFlags, setCacheType,
// initByCurrentJobId, lookup, destroy.
//
// Every member function is defined in libLmLib, none inline here: the host's
// own library replaces our stand-in at load time without a rebuild of the
// reader. Keep these declarations in step with the host's.
#ifndef HOST_FETCHINDEXINFO_H_
#define HOST_FETCHINDEXINFO_H_

#include <string>

// Flags of FetchIndexInfo::lookup.
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
  unsigned int m_initFlags;
  unsigned int m_cacheType;
  bool m_bound;
};

#endif  // HOST_FETCHINDEXINFO_H_
