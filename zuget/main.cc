// zuget: unpack every entry of a DAT archive into the current directory.

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "archive/dat_table.h"
#include "archive/entry_buffer.h"

namespace {

enum Outcome { kWritten, kSkipped, kFailed, kOutOfMemory };

// An absolute name, or one with a ".." component, would write outside the
// current directory.
bool IsSafeName(const char* name) {
  if (name[0] == '/') return false;
  for (const char* p = name; *p;) {
    size_t len = std::strcspn(p, "/");
    if (len == 2 && p[0] == '.' && p[1] == '.') return false;
    p += len;
    if (*p == '/') ++p;
  }
  return true;
}

// *position is where the archive stream stands; entries lie back to back, so
// a seek is needed only after one that was skipped.
Outcome Extract(std::FILE* archive, int64_t* position, const char* datFile, const DatEntry* table,
                int i) {
  const char* name = table[i].Name;
  if (!IsSafeName(name)) {
    std::printf("Unsafe name. : %s\n", name);
    return kSkipped;
  }
  if (IsSameFile(datFile, name)) {
    std::printf("Same file. : %s\n", name);
    return kSkipped;
  }
  std::FILE* out = std::fopen(name, "wb");
  if (!out) {
    std::printf("File cannot open. : %s\n", name);
    return kSkipped;
  }
  // The whole entry goes out in one write; a stream buffer would only copy it.
  std::setvbuf(out, nullptr, _IONBF, 0);

  size_t size = EntrySize(table, i);
  std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[size]);
  if (!data) {
    std::fclose(out);
    std::remove(name);
    std::fputs("Out of memory.\n", stdout);
    return kOutOfMemory;
  }
  bool read = (*position == table[i].Offset ||
               std::fseek(archive, table[i].Offset, SEEK_SET) == 0) &&
              std::fread(data.get(), 1, size, archive) == size;
  *position = read ? table[i + 1].Offset : -1;  // unknown after a failed read
  if (!read) {
    std::fclose(out);
    std::remove(name);
    std::printf("File cannot read. : %s\n", name);
    return kFailed;
  }
  bool wrote = std::fwrite(data.get(), 1, size, out) == size;
  if (std::fclose(out) != 0 || !wrote) {
    std::remove(name);
    std::printf("File cannot write. : %s\n", name);
    return kFailed;
  }
  std::printf("%s done.\n", name);
  return kWritten;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fputs("zuget ZU.DAT\norzuget ZU2.DAT", stdout);
    return -1;
  }
  const char* datFile = argv[1];

  std::FILE* archive;
  std::unique_ptr<DatEntry[]> table;
  int count;
  ReuseEntryBuffers();
  if (!LoadDatTable(datFile, &archive, &table, &count)) return -1;

  int status = 0;
  int64_t position = TableEnd(count);
  for (int i = 0; i + 1 < count; ++i) {
    Outcome outcome = Extract(archive, &position, datFile, table.get(), i);
    if (outcome == kOutOfMemory) {
      std::fclose(archive);
      return -1;
    }
    if (outcome == kFailed) status = -1;
  }

  if (std::fclose(archive) != 0) {
    std::printf("File cannot read. : %s\n", datFile);
    status = -1;
  }
  std::printf("File %s Close.\n", datFile);
  return status;
}
