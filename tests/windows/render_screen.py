#!/usr/bin/python3
"""Prints the screen that a terminal of COLUMNS x LINES shows after the bytes
of FILE (UTF-8), a line each, without trailing blanks: what a person sees.

    render_screen.py COLUMNS LINES FILE
"""
import sys

import pyte


def main():
    columns, lines, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    screen = pyte.Screen(columns, lines)
    stream = pyte.ByteStream(screen)
    with open(path, "rb") as shown:
        stream.feed(shown.read())
    for line in screen.display:
        print(line.rstrip())


main()
