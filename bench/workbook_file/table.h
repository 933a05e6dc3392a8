/* The benchmark table, shared by our writer and the C peer: 65,535 rows of 10 texts, about
 * 40% of them distinct; xlwt_peer.py makes the same texts. */
#ifndef KELVORA_BENCH_TABLE_H
#define KELVORA_BENCH_TABLE_H

#include <stdio.h>

enum { kBenchRows = 65535, kBenchColumns = 10 };

/* Writes value as exactly `digits` decimal digits and returns the end. */
static inline char* BenchDigits(char* out, long value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = (char)('0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

/* Cell (row, column) of the data rows: two cells in five are unique, the rest repeat. The
 * same texts as "U%07ld-%d" and "S%04ld-%d", made without printf so that making the table
 * costs next to nothing beside the writers being measured. */
static inline void BenchText(char* out, size_t size, int row, int column) {
    const long index = (long)row * kBenchColumns + column;
    if (size < 12)
        return;
    char* end =
        index % 5 < 2 ? BenchDigits(out + 1, index, 7) : BenchDigits(out + 1, index % 997, 4);
    out[0] = index % 5 < 2 ? 'U' : 'S';
    *end++ = '-';
    *end++ = (char)('0' + column);
    *end = '\0';
}

#endif
