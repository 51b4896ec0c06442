#include "archive/dat_table.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace {

// Tables and small entries are read through a buffer this size, so that a
// read call serves many of them.
constexpr size_t kArchiveBufferSize = 64 * 1024;
char archiveBuffer[kArchiveBufferSize];

// Records are read this many at a time.
constexpr int kRecordsPerRead = 256;

bool Fail(std::FILE* f, const char* line) {
  std::fputs(line, stdout);
  std::fclose(f);
  return false;
}

bool FailRead(std::FILE* f, const char* path) {
  std::printf("File cannot read. : %s\n", path);
  std::fclose(f);
  return false;
}

bool FailRecord(std::FILE* f, bool badName, int64_t i) {
  std::printf(badName ? "Bad name in record %d.\n" : "Bad offset in record %d.\n",
              static_cast<int>(i));
  std::fclose(f);
  return false;
}

// Length of the open file; leaves the stream at kTableStart.
bool FileSize(std::FILE* f, int64_t* size) {
  if (std::fseek(f, 0, SEEK_END) != 0) return false;
  long end = std::ftell(f);
  if (end < 0 || std::fseek(f, kTableStart, SEEK_SET) != 0) return false;
  *size = end;
  return true;
}

// Makes room for at least one more record, never beyond limit records.
bool Grow(std::unique_ptr<DatEntry[]>* table, int64_t* capacity, int64_t used, int64_t limit) {
  int64_t next = std::min(limit, std::max<int64_t>(*capacity * 2, 64));
  std::unique_ptr<DatEntry[]> bigger(new (std::nothrow) DatEntry[next]);
  if (!bigger) return false;
  if (used > 0) std::memcpy(bigger.get(), table->get(), used * sizeof(DatEntry));
  *table = std::move(bigger);
  *capacity = next;
  return true;
}

}  // namespace

bool LoadDatTable(const char* path, std::FILE** archive,
                  std::unique_ptr<DatEntry[]>* table, int* count) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    std::fputs("File Not Found.\n", stdout);
    return false;
  }
  std::printf("File %s Open.\n", path);
  std::setvbuf(f, archiveBuffer, _IOFBF, sizeof archiveBuffer);

  unsigned char head[kHeadSize];
  if (std::fread(head, 1, kHeadSize, f) != kHeadSize)
    return std::ferror(f) ? FailRead(f, path) : Fail(f, "Table has no end.\n");
  uint32_t headValue = DecodeFixed32(head);
  std::printf("Head:%X\n", headValue);

  int64_t size;
  if (!FileSize(f, &size)) return FailRead(f, path);

  // A sound table ends before the first entry's data, whose Offset is within
  // the file and within 31 bits: no more records than that are kept, whatever
  // Head says. Reading goes on past them only to find where the table ends.
  int64_t reach = std::min(size, kMaxOffset);
  int64_t keep = reach < kTableStart ? 0 : (reach - kTableStart) / kRecordSize;
  int64_t capacity = std::min<int64_t>(headValue, keep);
  std::unique_ptr<DatEntry[]> t(new (std::nothrow) DatEntry[capacity]);
  if (!t) return Fail(f, "Out of memory.\n");

  int64_t n = 0;
  bool ended = false;
  unsigned char block[kRecordSize * kRecordsPerRead];
  size_t got;
  while (!ended && (got = std::fread(block, 1, sizeof block, f)) >= kRecordSize) {
    for (size_t at = 0; at + kRecordSize <= got; at += kRecordSize) {
      const unsigned char* record = block + at;
      if (n < keep) {
        if (n == capacity && !Grow(&t, &capacity, n, keep)) return Fail(f, "Out of memory.\n");
        t[n].Offset = static_cast<int32_t>(DecodeFixed32(record));
        std::memcpy(t[n].Name, record + kOffsetSize, kNameSize);
      }
      ++n;
      if (record[kOffsetSize] == '\0') {
        ended = true;
        break;
      }
    }
    if (got < sizeof block) break;
  }
  if (!ended) return std::ferror(f) ? FailRead(f, path) : Fail(f, "Table has no end.\n");

  // Records are checked in table order, Name before Offset. A table longer
  // than keep cannot have a sound first Offset.
  int64_t checked = std::min(n, keep);
  if (checked == 0) return FailRecord(f, false, 0);
  for (int64_t i = 0; i < checked; ++i) {
    if (!std::memchr(t[i].Name, '\0', kNameSize)) return FailRecord(f, true, i);
    int64_t floor = i == 0 ? TableEnd(n) : t[i - 1].Offset;
    if (t[i].Offset < floor || t[i].Offset > size || n > keep) return FailRecord(f, false, i);
  }

  // The last read may have gone past the terminator.
  if (std::fseek(f, TableEnd(n), SEEK_SET) != 0) return FailRead(f, path);
  *archive = f;
  *table = std::move(t);
  *count = static_cast<int>(n);
  return true;
}

bool IsSameFile(const char* path, const char* other) {
  std::error_code ec;
  // One look at the path that is usually new before comparing the two.
  if (!std::filesystem::exists(std::filesystem::status(other, ec))) return false;
  return std::filesystem::equivalent(path, other, ec);
}
