#!/usr/bin/env bash
# Tasks from a file with the output at a Wine console of 80 x 25: the
# screen a person sees at the end must be the golden transcript's, rendered
# the same way: every result stays on screen (nothing clears it, since
# nobody pressed a key), the program's own pause prompt and line end
# between the passes, its letters right.
#
#   piped_to_console.sh PROGRAM CASE...     (WINEPREFIX set by the caller;
#                                           CASE: a golden case, without .in)
set -euo pipefail
readonly program=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
exe=$(winepath -w "$(realpath "$program")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LANG=C.UTF-8  # Wine's console shows what it is given in the terminal's UTF-8
render() { /usr/bin/python3 "$here/render_screen.py" 80 25 "$1"; }

for case in "$@"; do
  name=$(basename "$case")
  cp "$case.in" "$work/tasks.in"
  (cd "$work" && script -qefc "stty rows 25 cols 80; wine cmd /c '$exe <tasks.in'" /dev/null </dev/null >screen 2>&1) || true
  # The transcript as a terminal shows it: CP850 in UTF-8, each line end CR LF.
  iconv -f CP850 -t UTF-8 "$case.out" | sed 's/$/\r/' >"$work/golden"
  if ! diff -u <(render "$work/golden") <(render "$work/screen") >"$work/differences"; then
    echo "$name: the console shows another screen than the transcript's (- golden, + console):" >&2
    cat "$work/differences" >&2
    exit 1
  fi
done
echo "the console shows each transcript as it stands: $*"
