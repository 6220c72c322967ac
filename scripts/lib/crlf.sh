# shellcheck shell=bash
# The text files that ship (the user guide, the licence) have CR LF line
# ends: Notepad before Windows 10 1809 shows LF-only text as one long line.
# Source this file, then:
#
#   to_crlf docs/USER_GUIDE.txt "$stage/USER_GUIDE.txt"

to_crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
