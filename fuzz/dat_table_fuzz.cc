// libFuzzer target: any bytes as an archive. LoadDatTable must never crash,
// read out of bounds or leak, and a table it accepts must keep its promises.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/dat_table.h"

namespace {

std::string path;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "accepted table breaks: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* base = std::getenv("TMPDIR");
  path = std::string(base && *base ? base : "/tmp") + "/zu-fuzz-" + std::to_string(getpid()) + ".dat";
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  std::atexit([] { std::remove(path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();

  std::FILE* archive;
  std::unique_ptr<DatEntry[]> table;
  int count;
  if (!LoadDatTable(path.c_str(), &archive, &table, &count)) return 0;
  Check(count >= 1, "no terminator");
  Check(table[count - 1].Name[0] == '\0', "last record is not a terminator");
  Check(table[0].Offset >= TableEnd(count), "first entry inside the table");
  Check(table[count - 1].Offset <= static_cast<int64_t>(size), "data past the end");
  for (int i = 0; i + 1 < count; ++i) {
    Check(table[i].Name[0] != '\0', "terminator before the last record");
    Check(std::memchr(table[i].Name, '\0', kNameSize) != nullptr, "name without NUL");
    Check(EntrySize(table.get(), i) >= 0, "negative entry size");
  }
  std::fclose(archive);
  return 0;
}
