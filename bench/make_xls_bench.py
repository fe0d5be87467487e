#!/usr/bin/python3
"""Writes the .xls benchmark workbook: one sheet of 65,535 rows x 20 columns
of mixed cells (whole numbers, decimals, repeated and unique strings,
dates, booleans), as an Excel 97-2003 writer would store them.

    /usr/bin/python3 bench/make_xls_bench.py OUT.xls
"""
import datetime
import random
import sys

import xlwt

ROWS, COLS = 65535, 20


def main(path):
    rng = random.Random(20240229)
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Data")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    money = xlwt.easyxf(num_format_str="#,##0.00")
    words = ["alpha", "beta", "gamma", "delta", "Ørsted", "Zürich", "naïve", "quote\"d", "comma,ed", "line"]
    base = datetime.date(2000, 1, 1)
    for r in range(ROWS):
        row = ws.row(r)
        for c in range(COLS):
            k = c % 10
            if k == 0:
                row.write(c, r)  # whole number (RK)
            elif k == 1:
                row.write(c, rng.random() * 1e6, money)  # decimal (NUMBER)
            elif k == 2:
                row.write(c, words[(r + c) % len(words)])  # repeated string
            elif k == 3:
                row.write(c, "id-%d-%d" % (r, c))  # unique string
            elif k == 4:
                row.write(c, base + datetime.timedelta(days=r % 9000), date)
            elif k == 5:
                row.write(c, (r * 7 + c) % 2 == 0)  # boolean
            elif k == 6:
                row.write(c, round(rng.uniform(-1000, 1000), 2))
            elif k == 7:
                row.write(c, rng.randint(-10 ** 9, 10 ** 9))
            elif k == 8:
                row.write(c, rng.random())
            else:
                row.write(c, "text %d" % (r % 1000))
        if r % 1000 == 999:
            ws.flush_row_data()
    wb.save(path)


if __name__ == "__main__":
    main(sys.argv[1])
