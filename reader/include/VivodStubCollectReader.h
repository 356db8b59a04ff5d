// VivodStubCollectReader walks a collect file: a text file of comma-separated
// records, one per archived file, that the host's index service writes on
// request. It also turns stub collect files into plain path lists.
//
// Typical use, from one thread:
//
//   VivodStubCollectReader reader(args);
//   if (!reader.Initialize(inputFile) || !reader.Open()) fail(reader.m_lastError);
//   std::string name, line;
//   for (int r; (r = reader.GetItem(name, line)) != 0;) {
//     if (r == 1) use(name, line); else note(reader.m_lastError);  // skipped
//   }
//
// Every operation reports failure through its result and leaves the reason
// in m_lastError. Success leaves m_lastError as it was, with one exception:
// a successful Initialize that finds the collect file empty leaves its note
// "FetchIndexInfo returned emtpy file." there. CountLines sets no message.
// Nothing is thrown on the reader's own account; exceptions of the standard
// library (std::bad_alloc) pass through and leave the reader usable.
//
// Two messages are misspelled on purpose, "emtpy" and "Retreived": hosts
// match the texts as they have always been, so they must not be corrected.
//
// Threads: distinct readers share nothing and may be used on different
// threads at once; one reader is used from one thread at a time.
//
// The data members below form the class layout that host code is compiled
// against: their order and types must not change.
#ifndef READER_VIVODSTUBCOLLECTREADER_H_
#define READER_VIVODSTUBCOLLECTREADER_H_

#include <cstdint>
#include <fstream>
#include <string>

#define VIVOD_STUB_COLLECT_READER_EXPORT __attribute__((visibility("default")))

// The host's description of one collect file. The reader keeps its own copy.
struct VivodStubCollectReaderInitArgs {
  uint32_t collectFileNumber = 0;  // Decimal part of the collect file name.
  int32_t auxNumber = 0;           // Opaque to the reader: only carried along.
  std::string workDir;             // Directory of the collect file.
  std::string collectFilePrefix;   // First part of the collect file name.
  // Comma-separated index fields of every record, in record order; empty
  // selects the default list of seven fields. The full file name must stand
  // third from the end.
  std::string fieldList;
  std::string jobId;           // 1st argument of initByCurrentJobId.
  // lookupParamA/B/C and lookupText are opaque to the reader: it only
  // hands them on to the index service, as these arguments.
  uint32_t lookupParamB = 0;   // 3rd argument of initByCurrentJobId.
  uint32_t lookupParamA = 0;   // 2nd argument of initByCurrentJobId.
  std::string auxText;         // Opaque to the reader: only carried along.
  uint32_t lookupParamC = 0;   // 4th argument of initByCurrentJobId.
  std::string lookupText;      // 5th argument of initByCurrentJobId.
  int32_t fieldCount = 0;      // Names in fieldList; ignored when it is empty.
};

class VIVOD_STUB_COLLECT_READER_EXPORT VivodStubCollectReader {
 public:
  // Copies `args`. An empty field list becomes the default list
  // "arch_group_id,arch_file_id,arch_file_offs,file_size,full_file_name,
  // isvalid,metadata--2048052319" with a field count of 7. No I/O; cannot fail.
  explicit VivodStubCollectReader(const VivodStubCollectReaderInitArgs& args);
  // Closes the collect file. The file itself stays in workDir for reuse.
  ~VivodStubCollectReader();

  VivodStubCollectReader(const VivodStubCollectReader&) = delete;
  VivodStubCollectReader& operator=(const VivodStubCollectReader&) = delete;

  // Makes sure the collect file workDir + "/" + prefix_number.lmf exists.
  // Fails first with "Field count must be at least 3." when the field count
  // leaves no place for the file name, then with "Input file is empty or not
  // present." when `inputFile` does not exist, then with "Work directory
  // holds a NUL byte." before the collect file is named. An existing collect
  // file is reused as it stands. Otherwise the index service writes the
  // records of `inputFile` to a temporary file in the collect file's
  // directory, at a random name checked to be free just before
  // (<stem>.<pid>.<random>.lmf.tmp: "*.lmf.tmp" matches every temporary and
  // no collect file). Only a complete file is synced, renamed onto the
  // collect file's name, and its directory synced; so a crash or a job
  // running beside this one never leaves a partial collect file to reuse. In
  // a directory that may not be read (a drop box) the rename stands
  // unsynced: a crash may lose it, and a later Initialize looks up again.
  // Then the lines are counted. Returns true and marks the reader
  // Initialized when the file is there; an empty file (or one that cannot
  // be read for counting) is no failure but leaves the note
  // "FetchIndexInfo returned emtpy file." in m_lastError.
  // Returns false on failure, leaving the Initialized mark as it was and no
  // temporary behind: "FetchIndexInfo failed to init.", "FetchIndexInfo
  // failed to lookup in Indexing.", or "Failed to publish collect file " and
  // the path when the name is too long for its directory, no free temporary
  // name is found, or the finished file cannot be synced, renamed or made
  // durable. A collect file already renamed stays even then: it is
  // complete, and a later Initialize reuses it.
  bool Initialize(const std::string& inputFile);

  // Number of lines in the file at `path`: a last line without a line feed
  // counts, and so does an empty line. 0 when the file cannot be opened
  // (a null `path` included) or a read fails part way. Reads no reader
  // member and sets no message.
  unsigned long CountLines(const char* path);

  // Opens the collect file for reading. Requires a successful Initialize.
  // On failure the reader keeps its state; a collect file that appears later
  // can still be opened. Opening again while open fails and leaves the
  // stream failed: every later GetItem returns 0.
  bool Open();

  // Reads the next record. Requires a successful Initialize and Open.
  //  1: `fileName` holds the record's file name (one trailing CR or TAB
  //     removed) and `line` the raw line without its line feed.
  //  0: no more records; nothing written, m_lastError unchanged.
  // -1: nothing written, m_lastError tells why. These lines are consumed,
  //     and the next call goes on with the following line:
  //     - an empty line: "Retreived empty line from collect file " and the
  //       collect file name;
  //     - a record with fewer fields than the field count: "Could not find
  //       all desired fields in collect file entry";
  //     - a line with more commas, quoted ones included, than the field
  //       count plus 65536 (room for a path of PATH_MAX commas and quoted
  //       metadata of tens of thousands): "Collect file line with too many
  //       fields in " and the name;
  //     - a line longer than 16 MiB: "Collect file line longer than
  //       16777216 bytes in " and the name.
  //     A read error ("Failed to read collect file " and the path) fails
  //     the stream, so every later call returns 0. A host that sees 0 can
  //     tell the end from a read error by m_lastError: only after a read
  //     error does it hold that message.
  // An exception (std::bad_alloc) passes through with `fileName` and `line`
  // as they were, and gives up the line being read, if one was begun: no
  // part of it is ever delivered, and the next call and GetSeekOffset go on
  // from the line after it.
  int GetItem(std::string& fileName, std::string& line);

  // Moves the read position to byte `offset` of the collect file; the next
  // GetItem reads from there, so pass the first byte of a record's line.
  // Requires a successful Initialize and Open. An offset beyond the end
  // succeeds and the next GetItem returns 0, but a seek far beyond it can
  // still be refused by the file system (ext4 refuses offsets past 16 TiB).
  // Returns false with "Seek failed." when the stream cannot be positioned;
  // once GetItem has returned 0, the stream stays failed and every seek
  // fails.
  bool SetSeekOffset(uint64_t offset);

  // The byte offset at which the next GetItem reads: pass it to SetSeekOffset,
  // on this reader or a later one with the same arguments, to resume there.
  // Taken after any result of GetItem but 0, it resumes exactly where this
  // reader goes on; after a last line without a line feed it is the file's
  // size. Requires a successful Initialize and Open ("Call Initialize() and
  // Open() first."); fails with "Read offset not available." once the
  // stream has failed (after a 0 from GetItem or a failed seek). Never
  // changes the stream's state, and writes `offset` only on success. Use
  // it rather than m_collectStream.tellg(), which fails the stream when it
  // stands at the end of the file. Each call costs one lseek system call,
  // far more than a GetItem's own work: a walk keeps the offset itself
  // (after a 1 the next line begins line.size() + 1 bytes on) and asks
  // only after a -1, whose line is not handed out.
  bool GetSeekOffset(uint64_t& offset);

  // Writes to `outputFile` the path of every usable line of the stub collect
  // file `inputFile`, each followed by a line feed, in input order. Each line
  // (separated by line feeds; a last one without a feed counts) is taken
  // apart so:
  //  - an empty line yields nothing;
  //  - one CR or TAB that ends the line is taken off first, before the
  //    delimiter is looked for;
  //  - the path is the bytes after the first `delimiter` up to the last ':'
  //    after it, or the whole rest when no ':' follows; later delimiters
  //    and ':' bytes before the last belong to the path;
  //  - a line without `delimiter`, with an empty path, or longer than
  //    16 MiB yields nothing.
  // Each path is logged through EvDebug at level 2 ("Writing %s to file
  // [%s]." with the path and `outputFile`) just before it is written; the
  // log sees the path up to its first NUL byte, the output gets all of it.
  // Needs no other call first and changes no member but m_lastError, and
  // that only on failure: when a file cannot be opened, read or written, or
  // when both name the same file. An output that cannot be examined might
  // be the input: it is not opened, and fails as one that cannot be opened.
  // An exception (std::bad_alloc) passes through after both files are
  // closed.
  bool ProcessStubCollectFile(const std::string& inputFile,
                              const std::string& outputFile, char delimiter);

  // The data members, in their fixed layout order. The host reads
  // m_lastError and may set m_useIndexCache before Initialize (true asks the
  // index service for its cache). The others are the reader's own state,
  // public only so that hosts compiled against this layout can inspect it;
  // do not write them.
  VivodStubCollectReaderInitArgs m_args;
  std::ifstream m_collectStream;
  std::string m_dstFileName;   // Collect file name without directory.
  std::string m_lastError;     // Reason of the last failure.
  std::string m_reserved;      // Unused; holds its place in the layout.
  bool m_initialized;
  bool m_opened;
  bool m_useIndexCache;
  int32_t m_fieldCount;        // Fields every record must have.
};

#endif  // READER_VIVODSTUBCOLLECTREADER_H_
