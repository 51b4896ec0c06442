// Thousands of archives, damaged in the ways that matter, through the built
// zuget and zuput. Every run must end with status 0 or 255 and write nothing
// outside its folder; a damaged archive must leave no new file; a sound one
// must give exactly what a small model of the format here predicts.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/dat_format.h"
#include "tests/dat_builder.h"
#include "tests/tool_runner.h"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// What the format says an archive holds, worked out from its bytes alone.
struct Model {
  bool sound = false;
  uint32_t head = 0;
  std::vector<int64_t> offsets;  // every record's, the terminator's last
  std::vector<std::string> names;
};

uint32_t U32(const std::string& s, size_t pos) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[pos + i]);
  return v;
}

Model Read(const std::string& dat) {
  Model m;
  if (dat.size() < 4) return m;
  m.head = U32(dat, 0);
  for (size_t pos = 4;; pos += 17) {
    if (pos + 17 > dat.size()) return m;
    m.offsets.push_back(static_cast<int32_t>(U32(dat, pos)));
    std::string field = dat.substr(pos + 4, 13);
    if (field[0] == '\0') break;
    if (field.find('\0') == std::string::npos) return m;
    m.names.push_back(field.c_str());
  }
  int64_t previous = 4 + 17 * static_cast<int64_t>(m.offsets.size());
  for (int64_t offset : m.offsets) {
    if (offset < previous || offset > static_cast<int64_t>(dat.size())) return m;
    previous = offset;
  }
  m.sound = true;
  return m;
}

std::string Data(const std::string& dat, const Model& m, size_t i) {
  return dat.substr(m.offsets[i], m.offsets[i + 1] - m.offsets[i]);
}

bool Unsafe(const std::string& name) {
  if (name[0] == '/') return true;
  size_t start = 0;
  for (;;) {
    size_t slash = name.find('/', start);
    if (name.substr(start, slash - start) == "..") return true;
    if (slash == std::string::npos) return false;
    start = slash + 1;
  }
}

const char* const kHostile[] = {"../UP", "..", "a/../../b", "/tmp/ZUHOST1", "./ZU.DAT", "ZU.DAT",
                                "sub/x",  ".",  "...",       "A..B",         "x/..",     "/"};

std::string RandomName(std::mt19937& rng) {
  if (rng() % 8 == 0) return kHostile[rng() % std::size(kHostile)];
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.";
  std::string name(1 + rng() % 12, 'A');
  for (char& c : name) c = kChars[rng() % (sizeof kChars - 1)];
  if (name == "." || name == "..") name = "DOTS";
  return name;
}

std::string RandomArchive(std::mt19937& rng) {
  std::vector<TestEntry> entries(rng() % 6);
  for (TestEntry& e : entries) {
    e.name = RandomName(rng);
    if (!entries.empty() && rng() % 6 == 0) e.name = entries[0].name;
    e.data.resize(rng() % 3 == 0 ? 0 : rng() % 200);
    for (char& c : e.data) c = static_cast<char>(rng());
  }
  TestLayout layout;
  if (rng() % 4 == 0) layout.gap.assign(rng() % 40, 'g');
  if (rng() % 4 == 0) layout.tail.assign(rng() % 40, 't');
  layout.namePad = static_cast<char>(rng() % 3 == 0 ? rng() : 0);
  std::string dat = MakeDat(entries, layout);

  int records = static_cast<int>(entries.size()) + 1;
  const int64_t size = static_cast<int64_t>(dat.size());
  const int64_t edges[] = {0, -1, INT32_MAX, INT32_MIN, size, size + 1, TableEnd(records),
                           TableEnd(records) - 1};
  const uint32_t heads[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  int damages = rng() % 3 == 0 ? 0 : 1 + rng() % 2;
  for (int d = 0; d < damages; ++d) {
    switch (rng() % 6) {
      case 0: dat.resize(rng() % (dat.size() + 1)); break;
      case 1:
        if (!dat.empty()) dat[rng() % dat.size()] ^= static_cast<char>(1 << (rng() % 8));
        break;
      case 2:
        if (dat.size() >= static_cast<size_t>(TableEnd(records)))
          SetOffset(&dat, rng() % records, static_cast<int32_t>(edges[rng() % std::size(edges)]));
        break;
      case 3:
        if (dat.size() >= static_cast<size_t>(TableEnd(records)))
          FillName(&dat, rng() % records, static_cast<char>('A' + rng() % 26));
        break;
      case 4:
        if (dat.size() >= 4) SetHead(&dat, heads[rng() % std::size(heads)]);
        break;
      case 5:  // an early terminator
        if (records > 1 && dat.size() >= static_cast<size_t>(TableEnd(records)))
          dat[RecordPosition(rng() % (records - 1)) + 4] = '\0';
        break;
    }
  }
  return dat;
}

struct Expected {
  std::string out;
  Files files;
};

Expected Unpacked(const std::string& dat, const Model& m) {
  char head[32];
  std::snprintf(head, sizeof head, "Head:%X\n", m.head);
  Expected e{"File ZU.DAT Open.\n" + std::string(head), {{"ZU.DAT", dat}}};
  for (size_t i = 0; i < m.names.size(); ++i) {
    const std::string& n = m.names[i];
    // The run's folder holds no folders: only "." and "" may lead to a file.
    std::string file = n.substr(n.rfind('/') + 1);
    bool inFolder = true;
    for (size_t start = 0, slash; (slash = n.find('/', start)) != std::string::npos; start = slash + 1)
      inFolder = inFolder && (slash == start || n.substr(start, slash - start) == ".");
    if (Unsafe(n)) {
      e.out += "Unsafe name. : " + n + "\n";
    } else if (inFolder && file == "ZU.DAT") {
      e.out += "Same file. : " + n + "\n";
    } else if (!inFolder || file.empty() || file == ".") {
      e.out += "File cannot open. : " + n + "\n";
    } else {
      e.files[file] = Data(dat, m, i);
      e.out += n + " done.\n";
    }
  }
  e.out += "File ZU.DAT Close.\n";
  return e;
}

std::string Replaced(const std::string& dat, const Model& m, const std::string& name,
                     const std::string& data, int* done) {
  std::string prefix = dat.substr(0, m.offsets[0]), body;
  int64_t shift = 0;
  *done = 0;
  for (size_t i = 0; i < m.offsets.size(); ++i) {
    uint32_t moved = static_cast<uint32_t>(m.offsets[i] + shift);
    for (int b = 0; b < 4; ++b) prefix[4 + 17 * i + b] = static_cast<char>(moved >> (8 * b));
    if (i == m.names.size()) break;
    if (m.names[i] == name) {
      body += data;
      shift += static_cast<int64_t>(data.size()) - (m.offsets[i + 1] - m.offsets[i]);
      ++*done;
    } else {
      body += Data(dat, m, i);
    }
  }
  return prefix + body;
}

// Four shards of a fixed seed each, so that they can run side by side.
class Damage : public testing::TestWithParam<int> {};

TEST_P(Damage, GeneratedArchivesThroughBothTools) {
  std::mt19937 rng(20261211 + GetParam());
  ScratchDir outer;
  const std::string dir = outer / "run";
  int sound = 0;
  for (int round = 0; round < 400; ++round) {
    std::string dat = RandomArchive(rng);
    Model m = Read(dat);
    sound += m.sound;
    SCOPED_TRACE("round " + std::to_string(round));

    fs::create_directory(dir);
    WriteFile(dir + "/ZU.DAT", dat);
    RunResult r = RunTool(dir, ZUGET_PATH, {"ZU.DAT"});
    if (m.sound) {
      Expected e = Unpacked(dat, m);
      EXPECT_EQ(r.out, e.out);
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(Snapshot(dir), e.files);
    } else {
      EXPECT_EQ(r.status, 255) << r.out;
      EXPECT_EQ(Snapshot(dir), (Files{{"ZU.DAT", dat}}));
    }
    EXPECT_EQ(r.err, "");
    fs::remove_all(dir);

    std::string change = !m.names.empty() && rng() % 4 ? m.names[rng() % m.names.size()] : "OTHER";
    if (change.find('/') != std::string::npos || change == "ZU.DAT" || change == "NEW.DAT" ||
        change == "." || change == "..")
      change = "OTHER";
    std::string data(rng() % 300, 'c');
    fs::create_directory(dir);
    WriteFile(dir + "/ZU.DAT", dat);
    WriteFile(dir + "/" + change, data);
    r = RunTool(dir, ZUPUT_PATH, {"ZU.DAT", "NEW.DAT", change});
    Files left = {{"ZU.DAT", dat}, {change, data}};
    if (m.sound) {
      int done;
      left["NEW.DAT"] = Replaced(dat, m, change, data, &done);
      char head[32];
      std::snprintf(head, sizeof head, "Head:%X\n", m.head);
      std::string out = "File ZU.DAT Open.\n" + std::string(head);
      for (int i = 0; i < done; ++i) out += change + " done.\n";
      EXPECT_EQ(r.out, out + "File ZU.DAT Close.\n");
      EXPECT_EQ(r.status, 0);
    } else {
      EXPECT_EQ(r.status, 255) << r.out;
    }
    EXPECT_EQ(Snapshot(dir), left);
    EXPECT_EQ(r.err, "");
    fs::remove_all(dir);

    ASSERT_TRUE(fs::is_empty(outer.path())) << "a run wrote outside its folder";
    ASSERT_FALSE(fs::exists("/tmp/ZUHOST1")) << "a run wrote to an absolute name";
    if (HasFailure()) break;
  }
  // The damage must leave enough archives sound to test both sides.
  EXPECT_GT(sound, 80);
  EXPECT_LT(sound, 320);
}

INSTANTIATE_TEST_SUITE_P(Seeds, Damage, testing::Range(0, 4));

}  // namespace
