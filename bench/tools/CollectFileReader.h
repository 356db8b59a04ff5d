// Opens a VivodStubCollectReader on any existing file, whatever its name:
// the reader only reads files named <prefix>_<number>.lmf in its working
// directory, so other names are reached through a symbolic link in a
// temporary directory.
#ifndef BENCH_TOOLS_COLLECTFILEREADER_H_
#define BENCH_TOOLS_COLLECTFILEREADER_H_

#include <memory>
#include <string>

#include "VivodStubCollectReader.h"

namespace bench {

class CollectFileReader {
 public:
  // Check reader() for null; error() tells why it is.
  explicit CollectFileReader(const std::string& path);
  ~CollectFileReader();
  CollectFileReader(const CollectFileReader&) = delete;
  CollectFileReader& operator=(const CollectFileReader&) = delete;

  VivodStubCollectReader* reader() { return m_reader.get(); }
  const std::string& error() const { return m_error; }

 private:
  std::string m_linkDir;  // holds the link; removed with this object
  std::unique_ptr<VivodStubCollectReader> m_reader;
  std::string m_error;
};

}  // namespace bench

#endif  // BENCH_TOOLS_COLLECTFILEREADER_H_
