#pragma once
// Storage of an elementary item: its bytes and the boundary SYNCHRONIZED aligns it on.
#include <cstdint>
#include <optional>
#include <string>

#include "record/record_model.h"

struct ItemStorage {
  std::int64_t length = 0;
  std::int64_t boundary = 1; // SYNCHRONIZED puts the item at a multiple of this
  bool known = true;         // false: no storage for this usage (or its picture is missing)
};

// The storage of an item of `usage` (the usage it stores, as ModelItem::usage
// gives it) with `picture` (null when it has none); `separateSign` when a
// SIGN ... SEPARATE clause applies to it and it is a signed DISPLAY number.
// Under IBM's rules: binary by its digits in 2, 4 or 8 bytes; packed in
// digits / 2 + 1; DISPLAY a byte a position, DISPLAY-1 and NATIONAL two.
// The boundary is IBM's too: 2 for a halfword binary, 8 for COMP-2, 4 for
// every other binary, floating-point, index and pointer item.
// The -lenient usages of GnuCOBOL and Micro Focus take the sizes GnuCOBOL
// gives them on a 64-bit host.
ItemStorage storageOf(Usage usage, const ParsedPicture *picture, bool separateSign);

// Bytes of a binary (BINARY, COMP, COMP-4, COMP-5) item of `digits` digits.
std::int64_t binaryLength(std::int64_t digits);

// The usages that -lenient reads with a fixed size and signedness and no picture.
bool isDialectBinary(Usage usage);
bool isUnsignedDialectBinary(Usage usage);

// How an item's bytes hold its value, for the programs that read and write
// data: one answer for the decoder and the encoder, so that what one reads
// the other writes.
enum class DataForm {
  group,
  text,
  national,
  dbcs,
  zoned,
  packed,
  unsignedPacked,
  binary,
  floating,
  decimalFloat,
  edited,
  externalFloat,
};

// The form of `item`'s value by its usage and category; nothing for a usage
// whose bytes have no form the data programs know.
std::optional<DataForm> dataFormOf(const ModelItem &item);

// Why `counter` cannot hold the count of an OCCURS DEPENDING ON ("a group",
// "a text item", ...), or nothing when it can: a count is read as a whole
// number, so only decimal and binary items give one.
std::optional<std::string> notACount(const ModelItem &counter);
