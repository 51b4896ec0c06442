#include "tests/dat_builder.h"

#include "archive/dat_format.h"

namespace {

void PutFixed32(std::string* dat, size_t pos, uint32_t v) {
  unsigned char b[4];
  EncodeFixed32(b, v);
  dat->replace(pos, 4, reinterpret_cast<const char*>(b), 4);
}

}  // namespace

std::string MakeDat(const std::vector<TestEntry>& entries, const TestLayout& layout) {
  int64_t count = static_cast<int64_t>(entries.size()) + 1;
  std::string dat(TableEnd(count), '\0');
  SetHead(&dat, static_cast<uint32_t>(layout.head < 0 ? entries.size() : layout.head));
  int64_t offset = TableEnd(count) + layout.gap.size();
  for (int64_t i = 0; i < count; ++i) {
    size_t pos = RecordPosition(i);
    PutFixed32(&dat, pos, static_cast<uint32_t>(offset));
    if (i + 1 == count) break;
    const std::string& name = entries[i].name;
    std::string field = name.substr(0, kNameSize);
    if (field.size() < kNameSize) {
      field += '\0';
      field.resize(kNameSize, layout.namePad);
    }
    dat.replace(pos + kOffsetSize, kNameSize, field);
    offset += entries[i].data.size();
  }
  dat += layout.gap;
  for (const TestEntry& e : entries) dat += e.data;
  dat += layout.tail;
  return dat;
}

int32_t GetOffset(const std::string& dat, int record) {
  return static_cast<int32_t>(
      DecodeFixed32(reinterpret_cast<const unsigned char*>(dat.data()) + RecordPosition(record)));
}

void SetOffset(std::string* dat, int record, int32_t offset) {
  PutFixed32(dat, RecordPosition(record), static_cast<uint32_t>(offset));
}

void SetHead(std::string* dat, uint32_t head) { PutFixed32(dat, 0, head); }

void FillName(std::string* dat, int record, char c) {
  dat->replace(RecordPosition(record) + kOffsetSize, kNameSize, kNameSize, c);
}
