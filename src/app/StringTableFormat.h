#pragma once

// The layout of a string table in a language library (and of the built-in English one):
// an array of entries sorted by id, with its length. Texts are UTF-8.
// The language library exports the two symbols below and nothing else.
#ifdef __cplusplus
#include <cstddef>
extern "C" {
#else
#include <stddef.h>
#endif

typedef struct ZandrelStringEntry {
    int id;
    const char *text;
} ZandrelStringEntry;

#define ZANDREL_STRING_TABLE_SYMBOL "zandrel_string_table"
#define ZANDREL_STRING_COUNT_SYMBOL "zandrel_string_count"

#ifdef __cplusplus
}
#endif
