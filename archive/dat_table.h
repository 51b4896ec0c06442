// The entry table of a DAT archive, loaded and checked once for both tools.

#ifndef ARCHIVE_DAT_TABLE_H_
#define ARCHIVE_DAT_TABLE_H_

#include <cstdint>
#include <cstdio>
#include <memory>

#include "archive/dat_format.h"

struct DatEntry {
  int32_t Offset;
  char Name[kNameSize];  // all 13 bytes as stored
};

// Opens the archive at path, prints "File %s Open." and "Head:%X", then
// loads the table up to and including the terminator and checks it: every
// Name holds a NUL, the first Offset lies at or past the table's end, and no
// Offset decreases or lies past the end of the file.
//
// On success *archive is open for reading, *table holds *count records (the
// terminator last) and every entry's data lies within the file. On failure
// the reason has been printed and nothing is left open. The stream uses a
// buffer of the module's own: one archive is open at a time.
bool LoadDatTable(const char* path, std::FILE** archive,
                  std::unique_ptr<DatEntry[]>* table, int* count);

// Size of entry i of a checked table (i below the terminator).
inline int32_t EntrySize(const DatEntry* table, int i) {
  return table[i + 1].Offset - table[i].Offset;
}

// True when both paths name one existing file, through any spelling, hard
// link or symbolic link. other is the path that may not exist yet.
bool IsSameFile(const char* path, const char* other);

#endif  // ARCHIVE_DAT_TABLE_H_
