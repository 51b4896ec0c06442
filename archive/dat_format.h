// Sizes and positions of the DAT archive, and its little-endian integers.
//
//   offset      size  field
//   0           4     Head
//   4 + 17*i    4     Offset of record i (signed, start of entry i's data)
//   8 + 17*i    13    Name of record i (NUL-terminated, at most 12 characters)
//
// The table ends with the first record whose Name begins with a NUL.

#ifndef ARCHIVE_DAT_FORMAT_H_
#define ARCHIVE_DAT_FORMAT_H_

#include <cstdint>

constexpr int kHeadSize = 4;
constexpr int kOffsetSize = 4;
constexpr int kNameSize = 13;
constexpr int kRecordSize = kOffsetSize + kNameSize;
constexpr int kTableStart = kHeadSize;
constexpr int64_t kMaxOffset = INT32_MAX;

// File position of record i; its Offset field is the first 4 bytes there.
constexpr int64_t RecordPosition(int64_t i) { return kTableStart + kRecordSize * i; }

// First byte past a table of count records.
constexpr int64_t TableEnd(int64_t count) { return RecordPosition(count); }

inline uint32_t DecodeFixed32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void EncodeFixed32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

#endif  // ARCHIVE_DAT_FORMAT_H_
