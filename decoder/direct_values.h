#pragma once
// Records of a fixed layout written straight from their bytes in a writer's binary encoding
// (Avro's), with no values tape between: the tape's tokens, filled and then walked, cost more
// than the whole of a JSON line. A writer says once per layout what each of the decoder's
// values becomes (DirectOp, from its own walk of a sample record), and the decoder's compiled
// loop writes them (RecordDecoder). The encoding's primitives are here, used by both that loop
// and the writer's walk of the tape, so that the two cannot write different bytes.
#include <cstdint>
#include <cstring>
#include <vector>

class RecordValues;

// `value`'s zigzag varint written at `at` (room for 10 bytes); returns its end.
[[gnu::always_inline]] inline char *putZigzag(char *at, std::int64_t value) {
  auto zigzag = (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
  while (zigzag >= 0x80) {
    *at++ = static_cast<char>((zigzag & 0x7F) | 0x80);
    zigzag >>= 7;
  }
  *at++ = static_cast<char>(zigzag);
  return at;
}

// `whole` as a decimal's bytes written at `at` (room for 9 bytes): big-endian two's complement
// in the fewest bytes that keep its sign, after their length; returns their end.
[[gnu::always_inline]] inline char *putDecimalBytes(char *at, std::int64_t whole) {
  const auto bits = static_cast<std::uint64_t>(whole < 0 ? ~whole : whole);
  const int significant = bits == 0 ? 0 : 64 - __builtin_clzll(bits);
  const int size = significant / 8 + 1; // 1 to 8
  *at = static_cast<char>(2 * size);    // the length's zigzag varint: one byte
  // The `size` low bytes, big-endian: all 8 written, `size` kept.
  const std::uint64_t big =
      __builtin_bswap64(static_cast<std::uint64_t>(whole) << (8 * (8 - size)));
  std::memcpy(at + 1, &big, sizeof big);
  return at + 1 + size;
}

// How a value is written: `bytes` alone (what the record's structure makes: union branches,
// array counts), a string's length and UTF-8, a whole number as a zigzag varint (int: only
// within 32 bits), a decimal of the field's own scale as its bytes (Avro's); or a string's
// length as 4 bytes little-endian and its UTF-8 (Parquet's plain byte array), a whole number
// at the field's own scale as 8 bytes little-endian (word32: only within 32 bits).
enum class DirectForm : std::uint8_t { bytes, text, int32, int64, decimal, plainText, word32, word64 };

struct DirectOp {
  // The value's token, counted from the record's first (noValue: none, `bytes` alone).
  std::uint32_t token = UINT32_MAX;
  DirectForm form = DirectForm::bytes;
  bool nullable = false; // the union's branch 1 before the value
  std::uint8_t size = 0; // of `bytes`
  int scale = 0;         // a decimal's or a word's
  char bytes[16] = {};
  // A writer of columns (Parquet's) names the column a value goes to: the decoder then writes
  // each value at the end of that lane of the batch (RecordValues::beginLanes), so that the
  // writer takes a column's values of many records as one piece. A word of word32 takes
  // 4 bytes there, not 8. noLane: the record's values one after another, as the ops come.
  static constexpr std::uint16_t noLane = UINT16_MAX;
  std::uint16_t lane = noLane;
};

// A writer that takes records of a fixed layout as their encoded bytes (RecordValues::encoded).
class DirectEncoder {
public:
  virtual ~DirectEncoder() = default;
  // The steps that write the record `sample` (one record of the layout's shape, its texts
  // empty and its numbers zero, at the scales the decoder reads them); empty when the writer
  // keeps to its walk of the tape for this layout. Called once by each decoder, from the
  // thread that decodes: it may not change what the writer's own writes use.
  virtual std::vector<DirectOp> compile(const RecordValues &sample) const = 0;
};
