// zuput: write a new DAT archive in which the entries named like ChangeFile
// hold that file's contents and every later Offset is moved to match.

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "archive/dat_table.h"
#include "archive/entry_buffer.h"

namespace {

enum Failure { kNone, kCannotWrite, kCannotReadArchive, kCannotReadChange, kChangeNotFound,
               kOutOfMemory };

constexpr size_t kCopyChunk = 64 * 1024;

// The new archive is written through a buffer this size, so that a write
// call carries many small entries.
constexpr size_t kOutBufferSize = 64 * 1024;
char outBuffer[kOutBufferSize];

// Length of an open file, read to its end; stops once it passes
// kMaxOffset, as no archive can hold more.
bool MeasureLength(std::FILE* f, int64_t* length) {
  unsigned char buf[kCopyChunk];
  int64_t total = 0;
  size_t got;
  while (total <= kMaxOffset && (got = std::fread(buf, 1, sizeof buf, f)) > 0) total += got;
  *length = total;
  return !std::ferror(f);
}

// The new Offset of every record, the terminator included, when every entry
// named changeFile is given changeLength bytes. False when one would not fit
// in 31 bits.
bool MoveOffsets(const DatEntry* table, int count, const char* changeFile, int64_t changeLength,
                 int32_t* moved) {
  int64_t shift = 0;
  for (int i = 0; i < count; ++i) {
    int64_t offset = table[i].Offset + shift;
    if (offset > kMaxOffset) return false;
    moved[i] = static_cast<int32_t>(offset);
    if (i + 1 < count && std::strcmp(table[i].Name, changeFile) == 0)
      shift += changeLength - EntrySize(table, i);
  }
  return true;
}

// Copies the next n bytes of the archive, which belong to no entry.
Failure CopyBytes(std::FILE* archive, std::FILE* out, int64_t n) {
  unsigned char buf[kCopyChunk];
  while (n > 0) {
    size_t want = n < static_cast<int64_t>(sizeof buf) ? static_cast<size_t>(n) : sizeof buf;
    if (std::fread(buf, 1, want, archive) != want) return kCannotReadArchive;
    if (std::fwrite(buf, 1, want, out) != want) return kCannotWrite;
    n -= want;
  }
  return kNone;
}

// Writes the new archive: the old prefix with the moved Offsets, then every
// entry's data, from the archive or, for entries named changeFile, from it.
Failure WriteArchive(std::FILE* archive, std::FILE* out, const DatEntry* table, int count,
                     const int32_t* moved, const char* changeFile, int64_t changeLength) {
  size_t tableEnd = TableEnd(count);
  std::unique_ptr<unsigned char[]> prefix(new (std::nothrow) unsigned char[tableEnd]);
  if (!prefix) return kOutOfMemory;
  if (std::fseek(archive, 0, SEEK_SET) != 0 ||
      std::fread(prefix.get(), 1, tableEnd, archive) != tableEnd)
    return kCannotReadArchive;
  for (int j = 0; j < count; ++j)
    EncodeFixed32(prefix.get() + RecordPosition(j), static_cast<uint32_t>(moved[j]));
  if (std::fwrite(prefix.get(), 1, tableEnd, out) != tableEnd) return kCannotWrite;
  prefix.reset();

  Failure gap = CopyBytes(archive, out, table[0].Offset - static_cast<int64_t>(tableEnd));
  if (gap != kNone) return gap;

  for (int i = 0; i + 1 < count; ++i) {
    if (std::strcmp(table[i].Name, changeFile) != 0) {
      size_t size = EntrySize(table, i);
      std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[size]);
      if (!data) return kOutOfMemory;
      if (std::fread(data.get(), 1, size, archive) != size) return kCannotReadArchive;
      if (std::fwrite(data.get(), 1, size, out) != size) return kCannotWrite;
      continue;
    }
    size_t size = static_cast<size_t>(changeLength);
    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[size]);
    if (!data) return kOutOfMemory;
    std::FILE* change = std::fopen(changeFile, "rb");
    if (!change) return kChangeNotFound;
    bool read = std::fread(data.get(), 1, size, change) == size;
    if (std::fclose(change) != 0 || !read) return kCannotReadChange;
    if (std::fwrite(data.get(), 1, size, out) != size) return kCannotWrite;
    std::printf("%s done.\n", changeFile);
    if (std::fseek(archive, table[i + 1].Offset, SEEK_SET) != 0) return kCannotReadArchive;
  }
  return kNone;
}

void Report(Failure failure, const char* datFile, const char* newDatFile,
            const char* changeFile) {
  switch (failure) {
    case kNone: break;
    case kCannotWrite: std::printf("File cannot write. : %s\n", newDatFile); break;
    case kCannotReadArchive: std::printf("File cannot read. : %s\n", datFile); break;
    case kCannotReadChange: std::printf("File cannot read. : %s\n", changeFile); break;
    case kChangeNotFound: std::printf("error file not found. : %s\n", changeFile); break;
    case kOutOfMemory: std::fputs("Out of memory.\n", stdout); break;
  }
}

// Ends a run that has not created the new archive.
int Refuse(std::FILE* archive) {
  std::fclose(archive);
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fputs("Use this!\n", stdout);
    std::fputs("zuput DatFile newDatFile ChangeFile\n", stdout);
    return -1;
  }
  const char* datFile = argv[1];
  const char* newDatFile = argv[2];
  const char* changeFile = argv[3];

  std::FILE* change = std::fopen(changeFile, "rb");
  if (!change) {
    std::fputs("File Not Found.\n", stdout);
    return -1;
  }
  int64_t changeLength;
  bool measured = MeasureLength(change, &changeLength);
  if (std::fclose(change) != 0) measured = false;
  if (!measured) {
    std::printf("File cannot read. : %s\n", changeFile);
    return -1;
  }

  std::FILE* archive;
  std::unique_ptr<DatEntry[]> table;
  int count;
  ReuseEntryBuffers();
  if (!LoadDatTable(datFile, &archive, &table, &count)) return -1;

  // Creating the new archive would truncate it: both inputs must be other files.
  if (IsSameFile(datFile, newDatFile) || IsSameFile(changeFile, newDatFile)) {
    std::printf("Same file. : %s\n", newDatFile);
    return Refuse(archive);
  }
  std::unique_ptr<int32_t[]> moved(new (std::nothrow) int32_t[count]);
  if (!moved) {
    std::fputs("Out of memory.\n", stdout);
    return Refuse(archive);
  }
  if (changeLength > kMaxOffset ||
      !MoveOffsets(table.get(), count, changeFile, changeLength, moved.get())) {
    std::fputs("Archive too large.\n", stdout);
    return Refuse(archive);
  }

  std::FILE* out = std::fopen(newDatFile, "wb");
  if (!out) {
    std::printf("File cannot open. : %s\n", newDatFile);
    return Refuse(archive);
  }
  std::setvbuf(out, outBuffer, _IOFBF, sizeof outBuffer);
  Failure failure =
      WriteArchive(archive, out, table.get(), count, moved.get(), changeFile, changeLength);
  if (std::fclose(archive) != 0 && failure == kNone) failure = kCannotReadArchive;
  if (std::fclose(out) != 0 && failure == kNone) failure = kCannotWrite;
  if (failure != kNone) {
    std::remove(newDatFile);
    Report(failure, datFile, newDatFile, changeFile);
    return -1;
  }
  std::printf("File %s Close.\n", datFile);
  return 0;
}
