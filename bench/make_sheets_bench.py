#!/usr/bin/python3
"""Writes a workbook of SHEETS sheets, each ROWS rows x 10 columns of
numbers and short strings (python3-xlsxwriter), for the scale benchmark.

    /usr/bin/python3 bench/make_sheets_bench.py OUT.xlsx SHEETS [ROWS]
"""
import sys

import xlsxwriter

out, sheets = sys.argv[1], int(sys.argv[2])
rows = int(sys.argv[3]) if len(sys.argv) > 3 else 100
book = xlsxwriter.Workbook(out, {"constant_memory": True})
for s in range(sheets):
    sheet = book.add_worksheet("S%d" % (s + 1))
    for r in range(rows):
        for c in range(10):
            if c % 3 == 2:
                sheet.write_string(r, c, "t%d" % ((r * 10 + c) % 97))
            else:
                sheet.write_number(r, c, (r * 31 + c * 7 + s) % 100003 / 8.0)
book.close()
