#!/usr/bin/env bash
# Runs the Windows program in a Wine console on a pseudo-terminal whose code
# page is set from outside before it starts, answers one calculation with an
# invalid sign, and checks that the screen shows "ungültig" and "lösen";
# then checks that output into a file and into a pipe, on the same code
# page, still holds the program's CP850 bytes 0x81 (ü) and 0x94 (ö), and
# that the line naming a surplus argument on standard error shows an argument ü. On
# code page 850 also: an argument ü comes back in that line
# as the user typed it (0x81 in a file), and the window has the program's
# title while it runs and an empty title is empty again once it ends.
#
#   console_letters.sh PROGRAM CODE_PAGE     (WINEPREFIX set by the caller)
set -euo pipefail
readonly program=$1 code_page=$2
exe=$(winepath -w "$(realpath "$program")")
work=$(mktemp -d)
session=
trap '[ -z "$session" ] || kill "$session" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
printf 'x 1 2\r\n' >tasks.txt

# Wine's console shows what it is given in the terminal's UTF-8.
export LANG=C.UTF-8
mkfifo keys
script -qefc "wine cmd /c 'chcp $code_page >NUL & $exe <tasks.txt >file.out & $exe'" /dev/null <keys >screen 2>&1 &
session=$!
exec 3>keys

# Waits until the screen shows `text`: a minute at most, for a busy
# machine (TASCHENRECHNER_TEST_PATIENCE_MS, where the caller expects a
# failure), and no longer than the session runs.
readonly patience_tenths=$(( ${TASCHENRECHNER_TEST_PATIENCE_MS:-60000} / 100 ))
wait_for() {
  local tenths
  for ((tenths = 0; tenths < patience_tenths; ++tenths)); do
    grep -qaF -- "$1" screen && return 0
    if ! kill -0 "$session" 2>/dev/null; then
      grep -qaF -- "$1" screen && return 0
      break
    fi
    sleep 0.1
  done
  echo "code page $code_page: never on screen: $1" >&2
  cat -v screen >&2
  exit 1
}

# Keys typed while the terminal is not in the console's raw mode would
# arrive changed (Enter as Ctrl+J, and echoed by the terminal), so they are
# typed at the prompt, once the terminal reads keys raw.
wait_for_raw_terminal() {
  local terminal tenths
  local children
  children=$(cat "/proc/$session/task/$session/children")
  terminal=$(readlink "/proc/${children%% *}/fd/0")
  for ((tenths = 0; tenths < patience_tenths; ++tenths)); do
    stty -a -F "$terminal" 2>/dev/null | grep -q -- '-icanon .*-echo ' && return 0
    sleep 0.1
  done
  echo "code page $code_page: the terminal never reads keys raw" >&2
  exit 1
}
wait_for "oder [/] ein:"
wait_for_raw_terminal
printf 'x 1 2\r' >&3
wait_for "Das Rechenzeichen ist ungültig!"
wait_for "Um eine erneute Rechenaufgabe zu lösen"

grep -qaF $'ung\x81ltig' file.out || { echo "code page $code_page: no 0x81 in the file" >&2; exit 1; }
grep -qaF $'zu l\x94sen' file.out || { echo "code page $code_page: no 0x94 in the file" >&2; exit 1; }

wine cmd /c "chcp $code_page >NUL & $exe <tasks.txt" </dev/null >piped.out 2>/dev/null || true
grep -qaF $'ung\x81ltig' piped.out || { echo "code page $code_page: no 0x81 through the pipe" >&2; exit 1; }
grep -qaF $'zu l\x94sen' piped.out || { echo "code page $code_page: no 0x94 through the pipe" >&2; exit 1; }
# Standard error at the console goes through the same writer as the output.
script -qefc "wine cmd /c 'chcp $code_page >NUL & $exe ü'" /dev/null </dev/null >errors 2>&1 || true
# Wine's console hides the cursor while it draws, between any two pieces.
sed -i $'s/\x1b\\[?25[hl]//g' errors
grep -qaF 'Überzähliges Argument "ü"' errors || { echo "code page $code_page: no ü on standard error: $(cat -v errors)" >&2; exit 1; }
if [ "$code_page" = 850 ]; then
  wine "$program" ü </dev/null >/dev/null 2>argument.err || true
  grep -qaF $'Argument "\x81"' argument.err || { echo "the argument ü is not 0x81: $(cat -v argument.err)" >&2; exit 1; }
  # Wine's console shows each title the console gets as xterm's sequence.
  script -qefc "wine cmd /c 'title & $exe <NUL'" /dev/null </dev/null >titles 2>&1
  titles=$(cat -v titles)
  [[ $titles == *'^[]0;Einfacher Taschenrechner^G'* ]] || { echo "the program's title was never set: $titles" >&2; exit 1; }
  last_title=${titles##*'^[]0;'}
  [ "${last_title:0:2}" = '^G' ] || { echo "the empty title was not restored: $titles" >&2; exit 1; }
fi
echo "code page $code_page: the console shows ü and ö, on standard error too; file and pipe hold 0x81 and 0x94"
