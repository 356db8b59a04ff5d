// What the reader passes to the host's libraries, in one place: the index
// service's flags and cache types, the tokenizer's quote, escape and
// separator, and the conversion's log call. vscr-host-check and the
// benchmark floors include this header too, so that they call the host
// exactly as the reader does, whatever changes here.
#ifndef READER_HOSTSETTINGS_H_
#define READER_HOSTSETTINGS_H_

namespace vscr {

// FetchIndexInfo: setInitFlags, setCacheType, and the lookup that asks for
// a collect file, its fields joined by "," and its list by "&".
constexpr unsigned int kIndexInitFlags = 0x2080861;
constexpr unsigned int kIndexCacheType = 2;
constexpr unsigned int kNoCacheType = 0;
constexpr unsigned int kCollectLookupFlags = 0x200;
constexpr char kLookupFieldSeparator[] = ",";
constexpr char kLookupListSeparator[] = "&";

// CKaString::Tokenize of a record line: fields quoted (both ends) with '"',
// escaped with '\\', separated by ','; no blanks trimmed.
constexpr char kFieldQuote = '"';
constexpr char kFieldEscape = '\\';
constexpr char kFieldSeparator = ',';
constexpr bool kTrimFields = false;

// EvDebug::DebugLvl for each path the conversion writes: the path and the
// output file's name are the arguments of the format.
constexpr char kLogFunction[] = "VivodStubCollectReader::ProcessStubCollectFile";
constexpr int kLogLevel = 2;
constexpr char kLogFormat[] = "Writing %s to file [%s].";

}  // namespace vscr

#endif  // READER_HOSTSETTINGS_H_
