#!/bin/sh
# Ends the prefix's Wine server and removes the prefix.
wineserver --kill 2>/dev/null || true
rm -rf "$1"
