// zuput run for real in a fresh folder: console bytes, status, the new
// archive against one built here from the expected entries, and inputs that
// stay as they were.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "archive/dat_format.h"
#include "tests/dat_builder.h"
#include "tests/tool_runner.h"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

RunResult Zuput(const ScratchDir& dir, const std::vector<std::string>& args,
                const RunOptions& options = {}) {
  return RunTool(dir.path(), ZUPUT_PATH, args, options);
}

std::vector<TestEntry> Replaced(std::vector<TestEntry> entries, const std::string& name,
                                const std::string& data) {
  for (TestEntry& e : entries)
    if (e.name == name) e.data = data;
  return entries;
}

const std::vector<TestEntry> kEntries = {
    {"FIRST.TXT", "the first entry"}, {"MID.BIN", std::string("\0mid\xff", 5)}, {"LAST", "last one"}};

TEST(Zuput, ReplacesTheEntryAndMovesEveryLaterOffset) {
  struct Case {
    const char* name;
    std::string data;
  };
  const Case cases[] = {
      {"FIRST.TXT", "a first entry that has grown a good deal longer"},
      {"FIRST.TXT", ""},
      {"MID.BIN", "m"},
      {"MID.BIN", std::string(70000, 'M')},
      {"LAST", "the last entry, longer"},
      {"LAST", ""},
  };
  TestLayout layout;
  layout.head = 0x1A;
  layout.gap = "gap kept as it was";
  layout.namePad = '~';
  for (const Case& c : cases) {
    ScratchDir dir;
    layout.tail = "not carried over";
    std::string dat = MakeDat(kEntries, layout);
    WriteFile(dir / "ZU.DAT", dat);
    WriteFile(dir / c.name, c.data);

    RunResult r = Zuput(dir, {"ZU.DAT", "NEW.DAT", c.name});
    EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:1A\n" + std::string(c.name) + " done.\nFile ZU.DAT Close.\n");
    EXPECT_EQ(r.status, 0);
    layout.tail.clear();
    EXPECT_EQ(Snapshot(dir.path()), (Files{{"ZU.DAT", dat},
                                           {c.name, c.data},
                                           {"NEW.DAT", MakeDat(Replaced(kEntries, c.name, c.data), layout)}}))
        << c.name << " with " << c.data.size() << " bytes";
  }
}

TEST(Zuput, NoEntryOfThatNameCopiesTheArchiveUpToItsEnd) {
  ScratchDir dir;
  TestLayout layout;
  layout.tail = "dropped";
  WriteFile(dir / "ZU.DAT", MakeDat(kEntries, layout));
  WriteFile(dir / "last", "lower case is another name");
  RunResult r = Zuput(dir, {"ZU.DAT", "NEW.DAT", "last"});
  EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:3\nFile ZU.DAT Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadFile(dir / "NEW.DAT"), MakeDat(kEntries));
}

TEST(Zuput, EveryRecordOfTheNameIsReplacedAndTheOffsetsAddUp) {
  ScratchDir dir;
  std::vector<TestEntry> entries = {{"DUP", "12"}, {"X", "x"}, {"DUP", "123456"}, {"Y", "y"}};
  WriteFile(dir / "ZU.DAT", MakeDat(entries));
  WriteFile(dir / "DUP", "four");
  RunResult r = Zuput(dir, {"ZU.DAT", "NEW.DAT", "DUP"});
  EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:4\nDUP done.\nDUP done.\nFile ZU.DAT Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadFile(dir / "NEW.DAT"), MakeDat(Replaced(entries, "DUP", "four")));
}

TEST(Zuput, WrongArgumentCountPrintsOnlyTheUsage) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{}, {"ZU.DAT", "NEW.DAT"}, {"ZU.DAT", "NEW.DAT", "LAST", "MORE"}}) {
    ScratchDir dir;
    WriteFile(dir / "ZU.DAT", MakeDat(kEntries));
    WriteFile(dir / "LAST", "x");
    RunResult r = Zuput(dir, args);
    EXPECT_EQ(r.out, "Use this!\nzuput DatFile newDatFile ChangeFile\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(Snapshot(dir.path()).size(), 2u);
  }
}

// Each refusal comes before the new archive exists, and leaves an older
// file of that name as it was.
TEST(Zuput, RefusalsLeaveTheNewArchiveUncreated) {
  std::string dat = MakeDat(kEntries);
  std::string damaged = dat;
  FillName(&damaged, 1, 'N');
  struct Case {
    const char* what;
    std::string archive;  // empty for none
    std::string change;
    const char* lines;
  };
  const Case cases[] = {
      {"missing change file", dat, "", "File Not Found.\n"},
      {"missing archive", "", "new", "File Not Found.\n"},
      {"damaged archive", damaged, "new", "File ZU.DAT Open.\nHead:3\nBad name in record 1.\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    Files before;
    if (!c.archive.empty()) before["ZU.DAT"] = c.archive;
    if (!c.change.empty()) before["LAST"] = c.change;
    for (const auto& [name, data] : before) WriteFile(dir / name, data);
    RunResult r = Zuput(dir, {"ZU.DAT", "NEW.DAT", "LAST"});
    EXPECT_EQ(r.out, c.lines) << c.what;
    EXPECT_EQ(r.status, 255) << c.what;
    EXPECT_EQ(Snapshot(dir.path()), before) << c.what;
  }
}

TEST(Zuput, NewArchiveThatCannotBeCreated) {
  ScratchDir dir;
  WriteFile(dir / "ZU.DAT", MakeDat(kEntries));
  WriteFile(dir / "LAST", "x");
  RunResult r = Zuput(dir, {"ZU.DAT", "nodir/NEW.DAT", "LAST"});
  EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:3\nFile cannot open. : nodir/NEW.DAT\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(Snapshot(dir.path()).size(), 2u);
}

TEST(Zuput, NeverWritesOverAnInput) {
  ScratchDir dir;
  std::string dat = MakeDat(kEntries);
  WriteFile(dir / "ZU.DAT", dat);
  WriteFile(dir / "LAST", "new last");
  fs::create_hard_link(dir / "ZU.DAT", dir / "HARD.DAT");
  fs::create_symlink("ZU.DAT", dir / "SOFT.DAT");
  fs::create_symlink(dir / "LAST", dir / "SOFT.CHG");
  Files before = Snapshot(dir.path());
  for (std::string target : std::vector<std::string>{"ZU.DAT", "./ZU.DAT", "HARD.DAT", "SOFT.DAT", "./LAST", "SOFT.CHG",
                             dir / "LAST"}) {
    RunResult r = Zuput(dir, {"ZU.DAT", target, "LAST"});
    EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:3\nSame file. : " + target + "\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(Snapshot(dir.path()), before) << target;
  }
}

TEST(Zuput, OffsetsThatWouldPass31BitsAreRefused) {
  ScratchDir dir;
  // Sparse files: the sizes are real but cost no disk.
  std::string dat = MakeDat({{"A", "a"}, {"HOLE", ""}});
  int64_t end = kMaxOffset - 2;
  SetOffset(&dat, 2, static_cast<int32_t>(end));
  WriteFile(dir / "ZU.DAT", dat);
  fs::resize_file(dir / "ZU.DAT", end);
  WriteFile(dir / "A", "abcd");  // moves the terminator past 2^31 - 1

  RunResult r = Zuput(dir, {"ZU.DAT", "NEW.DAT", "A"});
  EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:2\nArchive too large.\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_FALSE(fs::exists(dir / "NEW.DAT"));

  WriteFile(dir / "B", "");
  fs::resize_file(dir / "B", kMaxOffset + 1);
  WriteFile(dir / "SMALL.DAT", MakeDat(kEntries));
  r = Zuput(dir, {"SMALL.DAT", "NEW.DAT", "B"});
  EXPECT_EQ(r.out, "File SMALL.DAT Open.\nHead:3\nArchive too large.\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_FALSE(fs::exists(dir / "NEW.DAT"));
}

TEST(Zuput, FullDiskLeavesNoNewArchive) {
  ScratchDir dir;
  std::string dat = MakeDat(kEntries);
  WriteFile(dir / "ZU.DAT", dat);
  WriteFile(dir / "LAST", "new last");
  fs::create_symlink("/dev/full", dir / "NEW.DAT");
  RunResult r = Zuput(dir, {"ZU.DAT", "NEW.DAT", "LAST"});
  EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:3\nLAST done.\nFile cannot write. : NEW.DAT\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(Snapshot(dir.path()), (Files{{"ZU.DAT", dat}, {"LAST", "new last"}}));
}

// A FIFO as the change file lets the test serve its second reading
// something other than its first. The second reading comes after the new
// archive has been created, which tells the writer the first one is over.
class ChangeFifo {
 public:
  ChangeFifo(const std::string& path, const std::string& newArchive, std::string first,
             bool secondExists, std::string second)
      : path_(path) {
    signal(SIGPIPE, SIG_IGN);
    if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
    writer_ = std::thread([=] {
      Serve(first, !secondExists);
      if (!secondExists) return;
      for (int i = 0; i < 10000 && !fs::exists(newArchive); ++i) usleep(1000);
      Serve(second, false);
    });
  }
  ~ChangeFifo() {
    // Releases a writer still waiting for a reader that never came.
    int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    writer_.join();
    if (fd >= 0) close(fd);
    unlink(path_.c_str());
  }

 private:
  void Serve(const std::string& data, bool unlinkBeforeEof) {
    int fd = open(path_.c_str(), O_WRONLY);
    if (fd < 0) return;
    if (write(fd, data.data(), data.size()) < 0) {
    }
    if (unlinkBeforeEof) unlink(path_.c_str());
    close(fd);
  }
  std::string path_;
  std::thread writer_;
};

TEST(Zuput, ChangeFileGoneOrShortAtItsSecondReading) {
  struct Case {
    bool secondExists;
    std::string second;
    const char* line;
  };
  const Case cases[] = {
      {false, "", "error file not found. : MID.BIN\n"},
      {true, "short", "File cannot read. : MID.BIN\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    std::string dat = MakeDat(kEntries);
    WriteFile(dir / "ZU.DAT", dat);
    RunResult r;
    {
      ChangeFifo fifo(dir / "MID.BIN", dir / "NEW.DAT", "ten bytes!", c.secondExists, c.second);
      r = Zuput(dir, {"ZU.DAT", "NEW.DAT", "MID.BIN"});
    }
    EXPECT_EQ(r.out, std::string("File ZU.DAT Open.\nHead:3\n") + c.line);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(Snapshot(dir.path()), (Files{{"ZU.DAT", dat}}));
  }
}

TEST(Zuput, EntryLargerThanMemoryLeavesNoNewArchive) {
  ScratchDir dir;
  std::string dat = MakeDat({{"HUGE", ""}, {"LAST", "l"}});
  int64_t huge = int64_t{1} << 30;
  SetOffset(&dat, 1, static_cast<int32_t>(dat.size() + huge));
  SetOffset(&dat, 2, static_cast<int32_t>(dat.size() + huge + 1));
  WriteFile(dir / "ZU.DAT", dat);
  fs::resize_file(dir / "ZU.DAT", dat.size() + huge + 1);
  WriteFile(dir / "LAST", "new");
  RunOptions limited;
  limited.addressLimit = 256L << 20;
  RunResult r = Zuput(dir, {"ZU.DAT", "NEW.DAT", "LAST"}, limited);
  EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:2\nOut of memory.\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_FALSE(fs::exists(dir / "NEW.DAT"));
}

TEST(Zuput, PathsOfAnyLength) {
  ScratchDir dir;
  std::string deep;
  while (deep.size() < 600) deep += "a-rather-long-folder-name/";
  fs::create_directories(dir / deep);
  WriteFile(dir / deep + "ZU.DAT", MakeDat(kEntries));
  WriteFile(dir / "LAST", "x");
  RunResult r = Zuput(dir, {deep + "ZU.DAT", deep + "NEW.DAT", "LAST"});
  EXPECT_EQ(r.out, "File " + deep + "ZU.DAT Open.\nHead:3\nLAST done.\nFile " + deep + "ZU.DAT Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadFile(dir / deep + "NEW.DAT"), MakeDat(Replaced(kEntries, "LAST", "x")));
}

// The whole cycle: unpack, edit one file, put it back, unpack the result
// elsewhere; only the edited file differs.
TEST(Zuput, RoundTripChangesOnlyTheEditedFile) {
  ScratchDir dir;
  fs::create_directories(dir / "one");
  fs::create_directories(dir / "two");
  std::string dat = MakeDat(kEntries);
  WriteFile(dir / "one/ZU.DAT", dat);
  RunResult r = RunTool(dir / "one", ZUGET_PATH, {"ZU.DAT"});
  ASSERT_EQ(r.status, 0) << r.out;
  WriteFile(dir / "one/MID.BIN", "edited by hand");
  r = RunTool(dir / "one", ZUPUT_PATH, {"ZU.DAT", "../two/ZU2.DAT", "MID.BIN"});
  ASSERT_EQ(r.status, 0) << r.out;
  r = RunTool(dir / "two", ZUGET_PATH, {"ZU2.DAT"});
  ASSERT_EQ(r.status, 0) << r.out;

  Files one = Snapshot(dir / "one"), two = Snapshot(dir / "two");
  EXPECT_EQ(one["ZU.DAT"], dat);
  one.erase("ZU.DAT");
  two.erase("ZU2.DAT");
  EXPECT_EQ(one, two);
  EXPECT_EQ(two["MID.BIN"], "edited by hand");
  EXPECT_EQ(two["FIRST.TXT"], "the first entry");
}

}  // namespace
