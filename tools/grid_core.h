// The grid window's core: rows of a label and cells, the cell kinds and their
// texts, and the export of the rows as tab-separated text and as a BIFF2
// worksheet. Windowless: the grid window draws and copies these rows.
#pragma once

// Rows of run i (from 0) carry the colour mark (i mod 12) + 1, one of the 12
// run colours; colour escapes in labels use the character '0' + (i mod 12).
inline int run_colour_mark(int run) {
    return run % 12 + 1;
}
inline char run_colour_char(int run) {
    return static_cast<char>('0' + run % 12);
}
