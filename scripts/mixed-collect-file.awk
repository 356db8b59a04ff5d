# A collect file of 200,000 lines with every kind of line that a cut between
# ranges must carry: records, a quoted name with a comma, CRLF, empty and
# short lines (skipped), and a last line without a line feed.
#   awk -f scripts/mixed-collect-file.awk >collect_1.lmf
BEGIN {
  for (i = 0; i < 200000; i++) {
    k = i % 7
    if (k == 0) printf "1,%d,0,4,\"/archive/a,%d\",1,\"m\"\n", i, i
    else if (k == 1) printf "1,%d,0,4,/archive/crlf-%d,1,m\r\n", i, i
    else if (k == 2) print ""
    else if (k == 3) print "1,2,short"
    else printf "1,%d,0,4,/archive/file-%d,1,\"%s\"\n", i, i, substr("metadata", 1, k)
  }
  printf "1,1,0,4,/archive/last,1,m"
}
