#!/bin/sh
# Ends the prefix's Wine server, with every program still running in it, and
# removes the prefix and its log.
wineserver --kill 2>/dev/null || true
rm -rf "$1" "$1.log"
