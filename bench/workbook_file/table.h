/* The benchmark table, shared by our writer and the C peer: 65,535 rows of 10 texts, about
 * 40% of them distinct; xlwt_peer.py makes the same texts. */
#ifndef KELVORA_BENCH_TABLE_H
#define KELVORA_BENCH_TABLE_H

#include <stdio.h>

enum { kBenchRows = 65535, kBenchColumns = 10 };

/* Cell (row, column) of the data rows: two cells in five are unique, the rest repeat. */
static inline void BenchText(char* out, size_t size, int row, int column) {
    const long index = (long)row * kBenchColumns + column;
    if (index % 5 < 2)
        snprintf(out, size, "U%07ld-%d", index, column);
    else
        snprintf(out, size, "S%04ld-%d", index % 997, column);
}

#endif
