# The stub collect conversion as a host engineer would write it in awk:
# the path is what follows the first delimiter up to the last ':' after
# it, one trailing CR or TAB removed first, empty paths skipped. Logs the
# same line per path to standard error as the reader's stand-in log writer.
# It writes them through /dev/fd/2, which mawk buffers like any file:
# mawk's /dev/stderr is unbuffered, a system call per line, and the peer is
# meant to buffer its log as our log writer does.
#   mawk -v d=, -v out=PATHS -f convert.awk STUBS
BEGIN {
  log_head = "VivodStubCollectReader::ProcessStubCollectFile [2] Writing "
}
{
  line = $0
  if (line == "") next
  last = substr(line, length(line), 1)
  if (last == "\r" || last == "\t") line = substr(line, 1, length(line) - 1)
  at = index(line, d)
  if (at == 0) next
  path = substr(line, at + 1)
  if (match(path, /:[^:]*$/)) path = substr(path, 1, RSTART - 1)
  if (path == "") next
  printf "%s%s to file [%s].\n", log_head, path, out > "/dev/fd/2"
  print path > out
}
