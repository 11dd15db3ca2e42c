"""Advance widths of the on-screen display font, in 32nds of a glyph cell.

The same table is compiled into the program's text drawing; the glyph sheet
is laid out to match it, so the two must change together.
"""

_PRINTABLE = (
    # 32-47
    [7, 7, 11, 13, 13, 18, 17, 6, 8, 8, 9, 14, 7, 8, 7, 7]
    # 48-63
    + [13] * 10 + [7, 7, 14, 14, 14, 15]
    # 64-79
    + [23, 17, 17, 17, 17, 16, 15, 19, 17, 7, 13, 17, 15, 21, 17, 18]
    # 80-95
    + [16, 18, 17, 16, 15, 17, 16, 23, 16, 15, 14, 8, 7, 8, 14, 13]
    # 96-111
    + [8, 13, 15, 13, 15, 13, 8, 15, 15, 7, 7, 13, 7, 21, 15, 15]
    # 112-127
    + [15, 15, 9, 13, 8, 15, 13, 19, 13, 13, 12, 9, 7, 9, 14, 18]
)

_LATIN1 = [
    7, 7, 13, 13, 13, 13, 7, 13, 8, 18, 9, 13, 14, 8, 18, 13,
    10, 13, 8, 8, 8, 14, 13, 7, 7, 8, 9, 13, 20, 20, 20, 15,
    17, 17, 17, 17, 17, 17, 24, 17, 16, 16, 16, 16, 7, 7, 7, 7,
    17, 17, 18, 18, 18, 18, 18, 14, 19, 17, 17, 17, 17, 15, 16, 15,
    13, 13, 13, 13, 13, 13, 21, 13, 13, 13, 13, 13, 7, 7, 7, 7,
    15, 15, 15, 15, 15, 15, 15, 13, 15, 15, 15, 15, 15, 13, 15, 13,
]


def _build():
    table = []
    for c in range(32):
        table.append(0 if c in (9, 10, 13) else 18)
    table += _PRINTABLE
    table += [18] * 32  # 128-159
    table += _LATIN1
    assert len(table) == 256
    return tuple(table)


WIDTHS = _build()
