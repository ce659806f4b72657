#!/usr/bin/python3
"""Compares two results.csv files as numbers: same header, same rows, and every field of one
reads back to exactly the same double (bit for bit) as the field of the other."""
import struct
import sys


def bits(text):
    return struct.pack("<d", float(text))


def main(left, right):
    with open(left) as a, open(right) as b:
        rows_a, rows_b = a.read().splitlines(), b.read().splitlines()
    if rows_a[:1] != rows_b[:1]:
        return f"headers differ: {left} vs {right}"
    if len(rows_a) != len(rows_b):
        return f"{len(rows_a)} vs {len(rows_b)} lines"
    for line, (row_a, row_b) in enumerate(zip(rows_a[1:], rows_b[1:]), start=2):
        fields_a, fields_b = row_a.split(","), row_b.split(",")
        if len(fields_a) != len(fields_b):
            return f"line {line}: {len(fields_a)} vs {len(fields_b)} fields"
        for column, (x, y) in enumerate(zip(fields_a, fields_b), start=1):
            if bits(x) != bits(y):
                return f"line {line}, column {column}: {x} vs {y}"
    return None


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: csv_same_values.py A.csv B.csv")
    difference = main(sys.argv[1], sys.argv[2])
    if difference:
        sys.exit(f"different values: {difference}")
    print(f"same values: {sys.argv[1]} and {sys.argv[2]}")
