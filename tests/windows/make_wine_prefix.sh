#!/bin/sh
# A fresh Wine prefix for one test run, ready before the first program starts.
set -e
rm -rf "$1"
wineboot --init
wineserver --wait
