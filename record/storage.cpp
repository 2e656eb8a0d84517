// Bytes and SYNCHRONIZED boundaries of elementary items, by usage and picture.
#include "record/storage.h"

#include <algorithm>

namespace {

// The most decimal digits an unsigned integer of 1 .. 8 bytes always holds:
// how GnuCOBOL and Micro Focus size COMP-X and COMP-N by their picture.
constexpr int digitsHeld[] = {2, 4, 7, 9, 12, 14, 16, 19};

bool isNumericPicture(const ParsedPicture &picture) {
  return picture.category == Category::numeric || picture.category == Category::numericEdited ||
         picture.category == Category::externalFloatingPoint;
}

// COMP-X and COMP-N: the fewest bytes whose unsigned range holds the digits,
// one byte a position for an alphanumeric picture of up to 8; 0 past 8 bytes.
std::int64_t bytesByDigits(const ParsedPicture &picture) {
  if (!isNumericPicture(picture))
    return picture.size <= 8 ? picture.size : 0;
  for (std::int64_t bytes = 1; bytes <= 8; ++bytes)
    if (picture.digits <= digitsHeld[bytes - 1])
      return bytes;
  return 0;
}

} // namespace

std::int64_t binaryLength(std::int64_t digits) { return digits <= 4 ? 2 : digits <= 9 ? 4 : 8; }

bool isUnsignedDialectBinary(Usage usage) {
  switch (usage) {
  case Usage::binaryCharUnsigned:
  case Usage::binaryShortUnsigned:
  case Usage::binaryLongUnsigned:
  case Usage::binaryDoubleUnsigned:
  case Usage::binaryCLongUnsigned:
  case Usage::unsignedShort:
  case Usage::unsignedInt:
  case Usage::unsignedLong:
    return true;
  default:
    return false;
  }
}

bool isDialectBinary(Usage usage) {
  switch (usage) {
  case Usage::binaryChar:
  case Usage::binaryShort:
  case Usage::binaryLong:
  case Usage::binaryDouble:
  case Usage::binaryCLong:
  case Usage::signedShort:
  case Usage::signedInt:
  case Usage::signedLong:
    return true;
  default:
    return isUnsignedDialectBinary(usage);
  }
}

ItemStorage storageOf(Usage usage, const ParsedPicture *picture, bool separateSign) {
  const std::int64_t size = picture != nullptr ? picture->size : 0;
  const bool pictured = picture != nullptr;
  switch (usage) {
  case Usage::display:
    return {size + (separateSign ? 1 : 0), 1, true};
  case Usage::display1:
  case Usage::national:
    return {2 * size, 1, usage == Usage::display1 || pictured};
  // IBM aligns SYNCHRONIZED items on a halfword or a fullword; only COMP-2
  // asks for a doubleword. A binary of 10 to 18 digits takes 8 bytes on a
  // fullword (GnuCOBOL puts it on 8).
  case Usage::binary:
  case Usage::comp:
  case Usage::comp4:
  case Usage::comp5: {
    const std::int64_t length = binaryLength(size);
    return {length, std::min<std::int64_t>(length, 4), pictured};
  }
  // -lenient: COMP-0 is a binary halfword whatever its digits, as the
  // dialects that have it store it.
  case Usage::comp0:
    return {2, 2, true};
  case Usage::comp1:
    return {4, 4, true};
  case Usage::comp2:
    return {8, 8, true};
  case Usage::comp3:
  case Usage::packedDecimal:
    return {size / 2 + 1, 1, pictured};
  case Usage::index:
  case Usage::pointer:
  case Usage::objectReference:
    return {4, 4, true};
  case Usage::procedurePointer:
    return {8, 4, true};
  // The usages that only -lenient reads: the binary ones by their fixed
  // size, FLOAT-SHORT and FLOAT-LONG as COMP-1 and COMP-2, FUNCTION-POINTER
  // and PROGRAM-POINTER as IBM stores a pointer.
  case Usage::binaryChar:
  case Usage::binaryCharUnsigned:
    return {1, 1, true};
  case Usage::binaryShort:
  case Usage::binaryShortUnsigned:
  case Usage::signedShort:
  case Usage::unsignedShort:
    return {2, 2, true};
  case Usage::binaryLong:
  case Usage::binaryLongUnsigned:
  case Usage::signedInt:
  case Usage::unsignedInt:
  case Usage::floatShort:
  case Usage::functionPointer:
  case Usage::programPointer:
    return {4, 4, true};
  // GnuCOBOL's C long on a 64-bit host is 8 bytes.
  case Usage::binaryDouble:
  case Usage::binaryDoubleUnsigned:
  case Usage::signedLong:
  case Usage::unsignedLong:
  case Usage::binaryCLong:
  case Usage::binaryCLongUnsigned:
  case Usage::floatLong:
  case Usage::floatDecimal16:
    return {8, 8, true};
  case Usage::floatDecimal34:
    return {16, 16, true};
  case Usage::compX:
  case Usage::compN:
  case Usage::comp6: {
    std::int64_t length = 0;
    if (picture != nullptr)
      length = usage == Usage::comp6 ? (isNumericPicture(*picture) ? (picture->digits + 1) / 2 : 0)
                                     : bytesByDigits(*picture);
    // SYNCHRONIZED aligns only the sizes of C integers, as GnuCOBOL does.
    const bool cSized = usage != Usage::comp6 && (length == 2 || length == 4 || length == 8);
    return {length, cSized ? length : 1, length != 0};
  }
  default:
    return {0, 1, false};
  }
}

std::optional<DataForm> dataFormOf(const ModelItem &item) {
  if (item.isGroup())
    return DataForm::group;
  switch (item.usage) {
  case Usage::national:
    return DataForm::national;
  case Usage::display1:
    return DataForm::dbcs;
  case Usage::display:
    switch (item.category) {
    case Category::numeric:
      return DataForm::zoned;
    case Category::numericEdited:
      return DataForm::edited;
    case Category::externalFloatingPoint:
      return DataForm::externalFloat;
    default:
      return DataForm::text;
    }
  case Usage::comp3:
  case Usage::packedDecimal:
    return DataForm::packed;
  case Usage::comp6:
    return DataForm::unsignedPacked;
  case Usage::floatDecimal16:
  case Usage::floatDecimal34:
    return DataForm::decimalFloat;
  case Usage::comp1:
  case Usage::comp2:
  case Usage::floatShort:
  case Usage::floatLong:
    return DataForm::floating;
  case Usage::binary:
  case Usage::comp:
  case Usage::comp4:
  case Usage::comp5:
  case Usage::index:
  case Usage::pointer:
  case Usage::functionPointer:
  case Usage::programPointer:
  case Usage::compX:
  case Usage::compN:
  case Usage::comp0:
    return DataForm::binary;
  default:
    if (isDialectBinary(item.usage))
      return DataForm::binary;
    return std::nullopt;
  }
}

std::optional<std::string> notACount(const ModelItem &counter) {
  switch (dataFormOf(counter).value_or(DataForm::group)) {
  case DataForm::zoned:
  case DataForm::packed:
  case DataForm::unsignedPacked:
  case DataForm::binary:
    return std::nullopt;
  case DataForm::group:
    return counter.isGroup() ? "a group" : "an item of unknown usage";
  case DataForm::text:
  case DataForm::national:
  case DataForm::dbcs:
    return "a text item";
  case DataForm::edited:
  case DataForm::externalFloat:
    return "an edited item";
  case DataForm::floating:
  case DataForm::decimalFloat:
    return "a floating-point item";
  }
  return std::nullopt;
}
