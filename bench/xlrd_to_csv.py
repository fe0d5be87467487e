#!/usr/bin/python3
"""The comparison: python3-xlrd reads the workbook and Python's csv module
writes every sheet, one file per sheet.

    /usr/bin/python3 bench/xlrd_to_csv.py IN.xls OUTDIR
"""
import csv
import os
import sys

import xlrd


def main(path, outdir):
    book = xlrd.open_workbook(path)
    for sheet in book.sheets():
        with open(os.path.join(outdir, sheet.name + ".csv"), "w", newline="", encoding="utf-8") as f:
            w = csv.writer(f)
            for r in range(sheet.nrows):
                w.writerow(sheet.row_values(r))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
