#!/usr/bin/python3
"""Prints the live records of a .dbf as read by dbfread, one line per record:
0 (dbfread skips deleted records), then each field's value, tab-separated.
Text is decoded as latin-1 so bytes map one to one; bytes outside printable
ASCII (and backslash and tab) are written \\xNN; None is \\N; dates yyyymmdd;
logicals 1/0."""
import datetime
import sys

import dbfread


def esc(v):
    if v is None:
        return "\\N"
    if isinstance(v, bool):
        return "1" if v else "0"
    if isinstance(v, datetime.date):
        return v.strftime("%Y%m%d")
    if isinstance(v, bytes):
        v = v.decode("latin-1")
    v = str(v)
    return "".join(c if (0x20 <= ord(c) <= 0x7E and c != "\\") else "\\x%02x" % ord(c) for c in v)


table = dbfread.DBF(sys.argv[1], encoding="latin-1", load=False)
for record in table:
    print("\t".join(["0"] + [esc(v) for v in record.values()]))
