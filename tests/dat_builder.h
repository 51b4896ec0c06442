// Builds DAT archives in memory for tests, the demo and the benchmarks, with
// knobs to damage them afterwards.

#ifndef TESTS_DAT_BUILDER_H_
#define TESTS_DAT_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

struct TestEntry {
  std::string name;  // 13 bytes or more are stored as 13, without a NUL
  std::string data;
};

struct TestLayout {
  int64_t head = -1;     // Head as stored; -1 stores the number of entries
  std::string gap;       // bytes between the table and the first entry's data
  std::string tail;      // bytes after the last entry's data
  char namePad = '\0';   // fills each Name field after its NUL
};

// Head, one record per entry, the terminator, the gap, every entry's data in
// order, the tail. The terminator's Name is all NUL bytes.
std::string MakeDat(const std::vector<TestEntry>& entries, const TestLayout& layout = {});

int32_t GetOffset(const std::string& dat, int record);
void SetOffset(std::string* dat, int record, int32_t offset);
void SetHead(std::string* dat, uint32_t head);
// Fills all 13 bytes of a record's Name with c, leaving it no NUL.
void FillName(std::string* dat, int record, char c);

#endif  // TESTS_DAT_BUILDER_H_
