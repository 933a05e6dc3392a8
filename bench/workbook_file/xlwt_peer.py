"""The benchmark table written by xlwt (.xls). usage: xlwt_peer.py OUT.xls"""
import sys

import xlwt

ROWS, COLUMNS = 65535, 10


def text(row, column):
    index = row * COLUMNS + column
    if index % 5 < 2:
        return "U%07d-%d" % (index, column)
    return "S%04d-%d" % (index % 997, column)


def main():
    book = xlwt.Workbook()
    sheet = book.add_sheet("Sheet1")
    fill = xlwt.easyxf("pattern: pattern solid, fore_colour light_yellow")
    sheet.write(0, 0, "Block Name", fill)
    for c in range(1, COLUMNS):
        sheet.write(0, c, "Title %d" % c, fill)
    for r in range(ROWS):
        row = sheet.row(r + 1)
        for c in range(COLUMNS):
            row.write(c, text(r, c))
    book.save(sys.argv[1])


main()
