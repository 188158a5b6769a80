#!/usr/bin/env bash
# Runs the pseudo-terminal key-storm test for many seeds (every test run
# has seeds 1 to 4). Each seed is one session: random keys, pastes, window
# sizes, stops and continues, then a calculation and an ending.
#
#   tests/terminal/key_storm.sh [FIRST-LAST] [BUILD_FOLDER]
#   e.g. tests/terminal/key_storm.sh 1-1000 build/test
set -euo pipefail
readonly seeds=${1:-1-500}
readonly build=${2:-build/test}
TASCHENRECHNER_STORM_SEEDS=$seeds exec "$build/terminal_test" --gtest_filter='AtATerminal/KeyStorm.*' --gtest_brief=1
