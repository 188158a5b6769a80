#!/usr/bin/env bash
# An argument the Windows program does not take is named in its message as
# the user typed it: each character CP850 has, that shows as itself, as it
# is; every other one (a control character, a blank other than the space,
# a character CP850 lacks, with no nearest one taken for it) as \xHH or
# \uHHHH. Wine hands the program the arguments in UTF-16, decoded from the
# UTF-8 they are given in here.
#
#   argument_escapes.sh PROGRAM
set -euo pipefail
program=$1
export LC_ALL=C.UTF-8

failures=0
row() {  # argument, what the message must show between its quotes (CP850 bytes)
  local errors
  errors=$(wine "$program" "$1" </dev/null 2>&1 >/dev/null | tr -d '\r' || true)
  if [[ "$errors" != *"Argument \"$2\"; Hilfe mit"* ]]; then
    echo "argument $(printf '%q' "$1"): expected \"$2\", got: $(printf '%q' "$errors")" >&2
    failures=$((failures + 1))
  fi
}

row 'abc' 'abc'
row 'a b' 'a b'
row $'\xc3\xbc' $'\x81'                 # ü, in CP850
row $'\e[31m' '\x1b[31m'
row $'\e]2;title\a' '\x1b]2;title\x07'
row $'a\tb' 'a\x09b'
row $'a\rb' 'a\x0db'
row $'\xc2\x9b' '\x9b'                  # the C1 CSI
row $'\xc2\xa0' '\xa0'                  # a no-break space, blank
row $'\xe2\x82\xac' '\u20ac'            # €: no EUR, no ?
row $'\xc5\x91' '\u0151'                # ő: not o
row $'\xe6\x97\xa5' '\u65e5'
row $'a\xe2\x80\x8bb' 'a\u200bb'        # a zero-width space
row $'\xe2\x88\x925' '\u22125'          # a minus sign, not -
[ "$failures" -eq 0 ] || exit 1
echo "argument_escapes: every row as it should be"
