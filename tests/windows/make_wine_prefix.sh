#!/bin/sh
# A fresh Wine prefix for one test run, and one Wine server for it that stays
# up until the prefix is removed: every program of the run then starts
# against that server and the services wineboot started, instead of bringing
# up its own (seconds each where 32-bit code runs under emulation). The
# server and those services outlive this script, so their output goes to a
# log beside the prefix, not to the test's pipes.
set -e
rm -rf "$1"
mkdir -p "$1"
log="$1.log"
if ! { wineserver --persistent && wineboot --init; } </dev/null >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
