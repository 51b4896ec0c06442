// zuget run for real in a fresh folder: console bytes, status, files left.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "archive/dat_format.h"
#include "tests/dat_builder.h"
#include "tests/tool_runner.h"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

RunResult Zuget(const ScratchDir& dir, const std::vector<std::string>& args,
                const RunOptions& options = {}) {
  return RunTool(dir.path(), ZUGET_PATH, args, options);
}

TEST(Zuget, UnpacksEveryEntryInTableOrder) {
  ScratchDir dir;
  TestLayout layout;
  layout.gap = "a gap the tool must step over";
  layout.tail = "bytes past the end";
  std::string dat = MakeDat({{"A.TXT", "first entry"}, {"B.BIN", std::string("\0\1\2\xff", 4)}}, layout);
  WriteFile(dir / "ZU.DAT", dat);

  RunResult r = Zuget(dir, {"ZU.DAT"});
  EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:2\nA.TXT done.\nB.BIN done.\nFile ZU.DAT Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Snapshot(dir.path()),
            (Files{{"ZU.DAT", dat}, {"A.TXT", "first entry"}, {"B.BIN", std::string("\0\1\2\xff", 4)}}));
}

TEST(Zuget, WrongArgumentCountPrintsOnlyTheUsage) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"ZU.DAT", "ZU2.DAT"}}) {
    ScratchDir dir;
    WriteFile(dir / "ZU.DAT", MakeDat({{"A", "a"}}));
    RunResult r = Zuget(dir, args);
    EXPECT_EQ(r.out, "zuget ZU.DAT\norzuget ZU2.DAT");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(Snapshot(dir.path()).size(), 1u);
  }
}

TEST(Zuget, MissingOrDamagedArchiveWritesNothing) {
  ScratchDir dir;
  RunResult r = Zuget(dir, {"ZU.DAT"});
  EXPECT_EQ(r.out, "File Not Found.\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_TRUE(Snapshot(dir.path()).empty());

  std::string dat = MakeDat({{"A", "a"}, {"B", "b"}});
  SetOffset(&dat, 2, 1000);
  WriteFile(dir / "ZU.DAT", dat);
  r = Zuget(dir, {"ZU.DAT"});
  EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:2\nBad offset in record 2.\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(Snapshot(dir.path()), (Files{{"ZU.DAT", dat}}));
}

TEST(Zuget, EmptyArchivePrintsOnlyOpenHeadAndClose) {
  ScratchDir dir;
  WriteFile(dir / "ZU2.DAT", MakeDat({}));
  RunResult r = Zuget(dir, {"ZU2.DAT"});
  EXPECT_EQ(r.out, "File ZU2.DAT Open.\nHead:0\nFile ZU2.DAT Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Snapshot(dir.path()).size(), 1u);
}

TEST(Zuget, EmptyEntriesDuplicatesAndExistingFiles) {
  ScratchDir dir;
  std::string dat = MakeDat({{"EMPTY", ""}, {"TWICE", "older"}, {"OLD.TXT", "new"}, {"TWICE", "later"}});
  WriteFile(dir / "ZU.DAT", dat);
  WriteFile(dir / "OLD.TXT", "a longer file that was here before");
  RunResult r = Zuget(dir, {"ZU.DAT"});
  EXPECT_EQ(r.out,
            "File ZU.DAT Open.\nHead:4\nEMPTY done.\nTWICE done.\nOLD.TXT done.\nTWICE done.\n"
            "File ZU.DAT Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Snapshot(dir.path()),
            (Files{{"ZU.DAT", dat}, {"EMPTY", ""}, {"TWICE", "later"}, {"OLD.TXT", "new"}}));
}

TEST(Zuget, NamesWithFoldersAreWrittenOnlyWhereTheFolderExists) {
  ScratchDir dir;
  fs::create_directory(dir / "sub");
  std::string dat = MakeDat({{"nodir/X", "x"}, {"sub/Y", "y"}, {"Z", "z"}});
  WriteFile(dir / "ZU.DAT", dat);
  RunResult r = Zuget(dir, {"ZU.DAT"});
  EXPECT_EQ(r.out,
            "File ZU.DAT Open.\nHead:3\nFile cannot open. : nodir/X\nsub/Y done.\nZ done.\n"
            "File ZU.DAT Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Snapshot(dir.path()), (Files{{"ZU.DAT", dat}, {"sub", "<dir>"}, {"sub/Y", "y"}, {"Z", "z"}}));
}

TEST(Zuget, UnsafeNamesAreNeverWritten) {
  ScratchDir dir;
  fs::create_directories(dir / "work/sub");
  std::string dat = MakeDat({{"../UP", "1"},
                             {"sub/../../UP", "2"},
                             {"..", "3"},
                             {"/dev/null/zu", "4"},
                             {"sub/..", "5"},
                             {"..dots..", "6"},
                             {"sub/.../x", "7"}});
  WriteFile(dir / "work/ZU.DAT", dat);
  RunResult r = RunTool(dir / "work", ZUGET_PATH, {"ZU.DAT"});
  EXPECT_EQ(r.out,
            "File ZU.DAT Open.\nHead:7\n"
            "Unsafe name. : ../UP\nUnsafe name. : sub/../../UP\nUnsafe name. : ..\n"
            "Unsafe name. : /dev/null/zu\nUnsafe name. : sub/..\n"
            "..dots.. done.\nFile cannot open. : sub/.../x\nFile ZU.DAT Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Snapshot(dir.path()), (Files{{"work", "<dir>"},
                                         {"work/sub", "<dir>"},
                                         {"work/ZU.DAT", dat},
                                         {"work/..dots..", "6"}}));
}

TEST(Zuget, NeverWritesOverTheArchiveItReads) {
  ScratchDir dir;
  std::string dat = MakeDat({{"ZU.DAT", "would truncate the archive"},
                             {"HARD.DAT", "through a hard link"},
                             {"SOFT.DAT", "through a symbolic link"},
                             {"OK", "ok"}});
  WriteFile(dir / "ZU.DAT", dat);
  fs::create_hard_link(dir / "ZU.DAT", dir / "HARD.DAT");
  fs::create_symlink("ZU.DAT", dir / "SOFT.DAT");
  RunResult r = Zuget(dir, {"./ZU.DAT"});
  EXPECT_EQ(r.out,
            "File ./ZU.DAT Open.\nHead:4\nSame file. : ZU.DAT\nSame file. : HARD.DAT\n"
            "Same file. : SOFT.DAT\nOK done.\nFile ./ZU.DAT Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Snapshot(dir.path()),
            (Files{{"ZU.DAT", dat}, {"HARD.DAT", dat}, {"SOFT.DAT", "-> ZU.DAT"}, {"OK", "ok"}}));
}

TEST(Zuget, FullDiskRemovesThePartialFileAndFailsTheRun) {
  ScratchDir dir;
  std::string dat = MakeDat({{"FULL", "cannot land"}, {"EMPTY.FUL", ""}, {"AFTER", "still written"}});
  WriteFile(dir / "ZU.DAT", dat);
  fs::create_symlink("/dev/full", dir / "FULL");
  RunResult r = Zuget(dir, {"ZU.DAT"});
  EXPECT_EQ(r.out,
            "File ZU.DAT Open.\nHead:3\nFile cannot write. : FULL\nEMPTY.FUL done.\nAFTER done.\n"
            "File ZU.DAT Close.\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(Snapshot(dir.path()), (Files{{"ZU.DAT", dat}, {"EMPTY.FUL", ""}, {"AFTER", "still written"}}));
}

TEST(Zuget, ArchivePathOfAnyLength) {
  ScratchDir dir;
  std::string rel;
  while (rel.size() < 600) rel += "a-rather-long-folder-name/";
  fs::create_directories(dir / rel);
  rel += "ZU.DAT";
  WriteFile(dir / rel, MakeDat({{"A", "a"}}));
  RunResult r = Zuget(dir, {rel});
  EXPECT_EQ(r.out, "File " + rel + " Open.\nHead:1\nA done.\nFile " + rel + " Close.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadFile(dir / "A"), "a");
}

TEST(Zuget, EntryLargerThanMemoryEndsTheRun) {
  ScratchDir dir;
  // The huge entry is a hole in a sparse file, so the test costs no disk.
  std::string dat = MakeDat({{"SMALL", "s"}, {"HUGE", ""}, {"LATER", ""}});
  int64_t huge = int64_t{1} << 30;
  SetOffset(&dat, 2, static_cast<int32_t>(dat.size() + huge));
  SetOffset(&dat, 3, static_cast<int32_t>(dat.size() + huge));
  WriteFile(dir / "ZU.DAT", dat);
  fs::resize_file(dir / "ZU.DAT", dat.size() + huge);

  RunOptions limited;
  limited.addressLimit = 256L << 20;
  RunResult r = Zuget(dir, {"ZU.DAT"}, limited);
  EXPECT_EQ(r.out, "File ZU.DAT Open.\nHead:3\nSMALL done.\nOut of memory.\n");
  EXPECT_EQ(r.status, 255);
  std::vector<std::string> left;
  for (const fs::directory_entry& e : fs::directory_iterator(dir.path()))
    left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"SMALL", "ZU.DAT"}));
  EXPECT_EQ(ReadFile(dir / "SMALL"), "s");
}

}  // namespace
