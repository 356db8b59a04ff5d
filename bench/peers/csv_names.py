"""Prints the file name field of every collect record, read with Python's
csv module: the way a host engineer would script the walk in Python."""
import csv
import sys

NAME_FIELD = 4

with open(sys.argv[1], newline="", encoding="latin-1") as collect:
    write = sys.stdout.write
    for record in csv.reader(collect, escapechar="\\"):
        if len(record) > NAME_FIELD:
            write(record[NAME_FIELD] + "\n")
