# Sourced by the scripts that check the README's parallel walks:
#   walk_check_setup COLLECT_WALK DIR LIST
# puts COLLECT_WALK on PATH as collect-walk, and makes in DIR (which it
# enters) a collect file under collect-walk's default name, an empty LIST
# (a collect file is reused, so the list only has to exist) and one whole
# walk of it in single.txt (its summary in single.err). The collect file has
# 200,000 lines of every kind that a cut between ranges must carry: records,
# a quoted name with a comma, CRLF, empty and short lines (skipped), and a
# last line without a line feed.
walk_check_setup() {
  mkdir -p "$2/bin"
  ln -s "$1" "$2/bin/collect-walk"
  export PATH=$2/bin:$PATH
  cd "$2"
  awk 'BEGIN {
    for (i = 0; i < 200000; i++) {
      k = i % 7
      if (k == 0) printf "1,%d,0,4,\"/archive/a,%d\",1,\"m\"\n", i, i
      else if (k == 1) printf "1,%d,0,4,/archive/crlf-%d,1,m\r\n", i, i
      else if (k == 2) print ""
      else if (k == 3) print "1,2,short"
      else printf "1,%d,0,4,/archive/file-%d,1,\"%s\"\n", i, i, substr("metadata", 1, k)
    }
    printf "1,1,0,4,/archive/last,1,m"
  }' >collect_1.lmf
  : >"$3"
  collect-walk "$3" >single.txt 2>single.err
}
