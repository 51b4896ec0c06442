#include "archive/dat_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dat_builder.h"
#include "tests/tool_runner.h"

namespace {

struct Loaded {
  bool ok;
  std::string out;
  std::vector<DatEntry> table;
  long position;  // of the stream handed over
};

Loaded Load(const std::string& path) {
  std::FILE* archive = nullptr;
  std::unique_ptr<DatEntry[]> table;
  int count = 0;
  testing::internal::CaptureStdout();
  bool ok = LoadDatTable(path.c_str(), &archive, &table, &count);
  Loaded result{ok, testing::internal::GetCapturedStdout(), {}, -1};
  if (ok) {
    result.table.assign(table.get(), table.get() + count);
    result.position = std::ftell(archive);
    EXPECT_EQ(std::fclose(archive), 0);
  }
  return result;
}

Loaded LoadBytes(const ScratchDir& dir, const std::string& dat) {
  WriteFile(dir / "ZU.DAT", dat);
  return Load(dir / "ZU.DAT");
}

std::string Opened(const ScratchDir& dir) { return "File " + (dir / "ZU.DAT") + " Open.\n"; }

TEST(LoadDatTable, LoadsEveryRecordWithTheTerminatorsOffset) {
  ScratchDir dir;
  TestLayout layout;
  layout.head = 26;
  layout.gap = std::string(55 - TableEnd(3), 'g');
  Loaded got = LoadBytes(dir, MakeDat({{"A.TXT", "12345"}, {"B.TXT", "1234567"}}, layout));
  ASSERT_TRUE(got.ok) << got.out;
  EXPECT_EQ(got.out, Opened(dir) + "Head:1A\n");
  ASSERT_EQ(got.table.size(), 3u);
  EXPECT_EQ(got.table[0].Offset, 55);
  EXPECT_EQ(got.table[1].Offset, 60);
  EXPECT_EQ(got.table[2].Offset, 67);
  EXPECT_STREQ(got.table[0].Name, "A.TXT");
  EXPECT_STREQ(got.table[1].Name, "B.TXT");
  EXPECT_EQ(got.table[2].Name[0], '\0');
  EXPECT_EQ(EntrySize(got.table.data(), 1), 7);
  EXPECT_EQ(got.position, TableEnd(3));
}

TEST(LoadDatTable, TerminatorAloneIsATableOfOneRecord) {
  ScratchDir dir;
  Loaded got = LoadBytes(dir, MakeDat({}));
  ASSERT_TRUE(got.ok) << got.out;
  EXPECT_EQ(got.out, Opened(dir) + "Head:0\n");
  ASSERT_EQ(got.table.size(), 1u);
  EXPECT_EQ(got.table[0].Offset, TableEnd(1));
}

TEST(LoadDatTable, NameFieldIsKeptWholeAndOnlyItsFirstByteEndsTheTable) {
  ScratchDir dir;
  TestLayout layout;
  layout.namePad = 'x';
  Loaded got = LoadBytes(dir, MakeDat({{"TWELVE.CHARS", "a"}, {"B", "b"}}, layout));
  ASSERT_TRUE(got.ok) << got.out;
  ASSERT_EQ(got.table.size(), 3u);
  EXPECT_EQ(std::string(got.table[0].Name, kNameSize), std::string("TWELVE.CHARS\0", 13));
  EXPECT_EQ(std::string(got.table[1].Name, kNameSize), std::string("B\0xxxxxxxxxxx", 13));
}

// Head is printed as read and only sizes the first reservation: the table
// always runs to its terminator.
TEST(LoadDatTable, HeadNeitherLimitsNorSizesTheTable) {
  for (uint32_t head : {0u, 1u, 2u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    ScratchDir dir;
    std::vector<TestEntry> entries;
    for (int i = 0; i < 600; ++i) entries.push_back({"F" + std::to_string(i), std::string(i % 7, 'd')});
    TestLayout layout;
    layout.head = head;
    Loaded got = LoadBytes(dir, MakeDat(entries, layout));
    ASSERT_TRUE(got.ok) << got.out;
    char line[32];
    std::snprintf(line, sizeof line, "Head:%X\n", head);
    EXPECT_EQ(got.out, Opened(dir) + line);
    ASSERT_EQ(got.table.size(), 601u) << head;
    EXPECT_STREQ(got.table[599].Name, "F599");
    EXPECT_EQ(got.position, TableEnd(601));
  }
}

TEST(LoadDatTable, MissingFileIsNotFound) {
  ScratchDir dir;
  Loaded got = Load(dir / "NONE.DAT");
  EXPECT_FALSE(got.ok);
  EXPECT_EQ(got.out, "File Not Found.\n");
}

TEST(LoadDatTable, FolderCannotBeRead) {
  ScratchDir dir;
  Loaded got = Load(dir.path());
  EXPECT_FALSE(got.ok);
  EXPECT_EQ(got.out, "File " + dir.path() + " Open.\nFile cannot read. : " + dir.path() + "\n");
}

struct Damage {
  const char* what;
  std::string (*damage)();
  const char* lines;  // after the open line
};

const std::vector<TestEntry> kThree = {{"A", "aaaa"}, {"B", "bb"}, {"C", "cccccc"}};

std::string Sound() { return MakeDat(kThree); }
std::string Cut(size_t n) { return Sound().substr(0, n); }

const Damage kDamages[] = {
    {"empty file", [] { return std::string(); }, "Table has no end.\n"},
    {"shorter than Head", [] { return Cut(3); }, "Table has no end.\n"},
    {"Head alone", [] { return Cut(4); }, "Head:3\nTable has no end.\n"},
    {"cut inside a record", [] { return Cut(RecordPosition(1) + 6); }, "Head:3\nTable has no end.\n"},
    {"cut inside the terminator",
     [] { return Cut(RecordPosition(3) + kRecordSize - 1); }, "Head:3\nTable has no end.\n"},
    {"no terminator before the end",
     [] {
       std::string d = Sound();
       FillName(&d, 3, 'z');
       return d.substr(0, TableEnd(4));
     },
     "Head:3\nTable has no end.\n"},
    {"name without NUL",
     [] {
       std::string d = Sound();
       FillName(&d, 1, 'N');
       return d;
     },
     "Head:3\nBad name in record 1.\n"},
    {"first offset inside the table",
     [] {
       std::string d = Sound();
       SetOffset(&d, 0, TableEnd(4) - 1);
       return d;
     },
     "Head:3\nBad offset in record 0.\n"},
    {"negative offset",
     [] {
       std::string d = Sound();
       SetOffset(&d, 1, -1);
       return d;
     },
     "Head:3\nBad offset in record 1.\n"},
    {"decreasing offset",
     [] {
       std::string d = Sound();
       SetOffset(&d, 2, GetOffset(d, 1) - 1);
       return d;
     },
     "Head:3\nBad offset in record 2.\n"},
    {"terminator past the end",
     [] {
       std::string d = Sound();
       SetOffset(&d, 3, static_cast<int32_t>(d.size()) + 1);
       return d;
     },
     "Head:3\nBad offset in record 3.\n"},
    {"entry past the end",
     [] {
       std::string d = Sound();
       SetOffset(&d, 2, 0x7FFFFFFF);
       SetOffset(&d, 3, 0x7FFFFFFF);
       return d;
     },
     "Head:3\nBad offset in record 2.\n"},
    {"file cut inside the data",
     [] { return Cut(Sound().size() - 1); }, "Head:3\nBad offset in record 3.\n"},
    {"name checked before offset",
     [] {
       std::string d = Sound();
       FillName(&d, 1, 'N');
       SetOffset(&d, 1, -5);
       return d;
     },
     "Head:3\nBad name in record 1.\n"},
    {"first failure in table order",
     [] {
       std::string d = Sound();
       SetOffset(&d, 0, 0);
       FillName(&d, 1, 'N');
       return d;
     },
     "Head:3\nBad offset in record 0.\n"},
};

TEST(LoadDatTable, DamagedTablesAreRefusedWithTheirFirstFault) {
  for (const Damage& d : kDamages) {
    ScratchDir dir;
    Loaded got = LoadBytes(dir, d.damage());
    EXPECT_FALSE(got.ok) << d.what;
    EXPECT_EQ(got.out, Opened(dir) + d.lines) << d.what;
  }
}

TEST(LoadDatTable, EdgesThatStaySound) {
  ScratchDir dir;
  std::string d = MakeDat(kThree, {-1, "gap bytes", "tail bytes", '\0'});
  SetOffset(&d, 3, static_cast<int32_t>(d.size()));  // last entry runs to the end of the file
  Loaded got = LoadBytes(dir, d);
  ASSERT_TRUE(got.ok) << got.out;
  EXPECT_EQ(got.table[0].Offset, TableEnd(4) + 9);
  EXPECT_EQ(got.table[3].Offset, static_cast<int32_t>(d.size()));

  std::string empties = MakeDat({{"A", ""}, {"B", ""}});
  got = LoadBytes(dir, empties);
  ASSERT_TRUE(got.ok) << got.out;
  EXPECT_EQ(got.table[0].Offset, got.table[2].Offset);
}

}  // namespace
