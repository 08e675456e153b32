#!/usr/bin/env python3
"""Counts the words of each file named on the command line."""
import collections
import sys


def count_words(path):
    counts = collections.Counter()
    with open(path, encoding="utf-8") as f:
        for line in f:
            counts.update(word.strip(".,;:!?").lower() for word in line.split())
    return counts


def main(paths):
    total = collections.Counter()
    for path in paths:
        counts = count_words(path)
        print(f"{path}: {sum(counts.values())} words, {len(counts)} different")
        total.update(counts)
    for word, n in total.most_common(10):
        print(f"{n:6d} {word}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
