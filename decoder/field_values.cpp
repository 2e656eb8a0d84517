// Decoding of numeric field bytes into exact decimal text.
#include "decoder/field_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

void appendDecimal(std::string_view digits, bool negative, int scale, std::string &out) {
  std::size_t first = 0;
  while (first < digits.size() && digits[first] == '0')
    ++first;
  digits.remove_prefix(first);
  if (digits.empty()) {
    out += '0';
    if (scale > 0) {
      out += '.';
      out.append(static_cast<std::size_t>(scale), '0');
    }
    return;
  }
  if (negative)
    out += '-';
  if (scale <= 0) {
    out += digits;
    out.append(static_cast<std::size_t>(-scale), '0');
    return;
  }
  const auto places = static_cast<std::size_t>(scale);
  if (digits.size() <= places) {
    out += "0.";
    out.append(places - digits.size(), '0');
    out += digits;
  } else {
    out += digits.substr(0, digits.size() - places);
    out += '.';
    out += digits.substr(digits.size() - places);
  }
}

bool decodePacked(std::string_view bytes, bool isSigned, int scale, std::string &out) {
  if (bytes.empty())
    return false;
  char digits[64];
  std::size_t count = 0;
  if (bytes.size() * 2 > sizeof digits)
    return false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const int high = b >> 4;
    const int low = b & 0xF;
    if (high > 9)
      return false;
    digits[count++] = static_cast<char>('0' + high);
    if (i + 1 < bytes.size()) {
      if (low > 9)
        return false;
      digits[count++] = static_cast<char>('0' + low);
    }
  }
  const int sign = static_cast<unsigned char>(bytes.back()) & 0xF;
  if (sign < 0xA)
    return false;
  const bool negative = sign == 0xB || sign == 0xD;
  if (negative && !isSigned)
    return false;
  appendDecimal(std::string_view(digits, count), negative, scale, out);
  return true;
}

bool decodeUnsignedPacked(std::string_view bytes, int scale, std::string &out) {
  char digits[64];
  if (bytes.empty() || bytes.size() * 2 > sizeof digits)
    return false;
  std::size_t count = 0;
  for (const char byte : bytes)
    for (const int nibble : {static_cast<unsigned char>(byte) >> 4, byte & 0xF}) {
      if (nibble > 9)
        return false;
      digits[count++] = static_cast<char>('0' + nibble);
    }
  appendDecimal(std::string_view(digits, count), false, scale, out);
  return true;
}

namespace {

// The digit and sign of an embedded-sign byte; false when it is none.
bool embeddedSign(unsigned char b, const CodePage &page, int &digit, bool &negative) {
  if (page.ebcdic()) {
    const int zone = b >> 4;
    digit = b & 0xF;
    negative = zone == 0xD;
    return digit <= 9 && (zone == 0xC || zone == 0xD || zone == 0xF);
  }
  negative = false;
  if (b >= '0' && b <= '9') {
    digit = b - '0';
  } else if (b >= 0x70 && b <= 0x79) { // 'p' to 'y': GnuCOBOL and Micro Focus style
    digit = b - 0x70;
    negative = true;
  } else if (b == '{' || (b >= 'A' && b <= 'I')) {
    digit = b == '{' ? 0 : b - 'A' + 1;
  } else if (b == '}' || (b >= 'J' && b <= 'R')) {
    digit = b == '}' ? 0 : b - 'J' + 1;
    negative = true;
  } else {
    return false;
  }
  return true;
}

} // namespace

bool decodeZoned(std::string_view bytes, ZonedSign sign, int scale, const CodePage &page,
                 std::string &out) {
  bool negative = false;
  if (sign == ZonedSign::leadingSeparate || sign == ZonedSign::trailingSeparate) {
    if (bytes.empty())
      return false;
    const bool leading = sign == ZonedSign::leadingSeparate;
    const char c = page.ascii(static_cast<unsigned char>(leading ? bytes.front() : bytes.back()));
    if (c != '+' && c != '-')
      return false;
    negative = c == '-';
    bytes = leading ? bytes.substr(1) : bytes.substr(0, bytes.size() - 1);
    sign = ZonedSign::none;
  }
  char digits[64];
  if (bytes.empty() || bytes.size() > sizeof digits)
    return false;
  const std::size_t signAt = sign == ZonedSign::leading    ? 0
                             : sign == ZonedSign::trailing ? bytes.size() - 1
                                                           : bytes.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (i == signAt) {
      int digit = 0;
      if (!embeddedSign(b, page, digit, negative))
        return false;
      digits[i] = static_cast<char>('0' + digit);
    } else {
      const char c = page.ascii(b);
      if (c < '0' || c > '9')
        return false;
      digits[i] = c;
    }
  }
  appendDecimal(std::string_view(digits, bytes.size()), negative, scale, out);
  return true;
}

void decodeBinary(std::string_view bytes, bool isSigned, bool littleEndian, int scale,
                  std::string &out) {
  std::uint64_t value = 0;
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[littleEndian ? n - 1 - i : i]);
  bool negative = false;
  if (isSigned && n < 8 && (value >> (8 * n - 1)) != 0)
    value |= ~std::uint64_t{0} << (8 * n);
  if (isSigned && static_cast<std::int64_t>(value) < 0) {
    negative = true;
    value = ~value + 1;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  appendDecimal(std::string_view(digits, static_cast<std::size_t>(end - digits)), negative, scale,
                out);
}

bool decodeFloat(std::string_view bytes, bool ieee, bool littleEndian, std::string &out) {
  std::uint64_t raw = 0;
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n; ++i)
    raw = raw << 8 | static_cast<unsigned char>(bytes[littleEndian ? n - 1 - i : i]);
  double value = 0;
  if (ieee) {
    if (n == 4) {
      const auto bits = static_cast<std::uint32_t>(raw);
      float f = 0;
      std::memcpy(&f, &bits, sizeof f);
      value = f;
    } else {
      std::memcpy(&value, &raw, sizeof value);
    }
  } else {
    const int bitsAfter = static_cast<int>(8 * n) - 8;
    const bool negative = (raw >> (8 * n - 1)) & 1;
    const int exponent = static_cast<int>((raw >> bitsAfter) & 0x7F) - 64;
    const std::uint64_t fraction = raw & ((std::uint64_t{1} << bitsAfter) - 1);
    value = std::ldexp(static_cast<double>(fraction), 4 * exponent - bitsAfter);
    if (negative)
      value = -value;
  }
  if (!std::isfinite(value))
    return false;
  char text[32];
  const auto end = n == 4 ? std::to_chars(text, text + sizeof text, static_cast<float>(value)).ptr
                          : std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, end);
  return true;
}

bool decodeDecimalFloat(std::string_view bytes, bool littleEndian, std::string &out) {
  const std::size_t n = bytes.size();
  if (n != 8 && n != 16)
    return false;
  unsigned __int128 raw = 0;
  for (std::size_t i = 0; i < n; ++i)
    raw = raw << 8 | static_cast<unsigned char>(bytes[littleEndian ? n - 1 - i : i]);
  const int bits = static_cast<int>(8 * n);
  // Exponent continuation bits: 8 for decimal64, 12 for decimal128.
  const int continuation = n == 8 ? 8 : 12;
  const int coefficientBits = bits - 1 - 5 - continuation; // 50 or 110 trailing bits
  const bool negative = (raw >> (bits - 1)) & 1;
  const auto combination = static_cast<unsigned>((raw >> (bits - 6)) & 0x1F);
  if ((combination & 0x1E) == 0x1E)
    return false; // infinity or NaN
  const unsigned __int128 one = 1;
  const int exponentBits = continuation + 2;
  int exponent = 0;
  unsigned __int128 coefficient = 0;
  if ((combination & 0x18) == 0x18) {
    // Large form: the exponent after the two 1 bits, the coefficient's top
    // bits 100.
    exponent = static_cast<int>((raw >> (coefficientBits + 1)) & ((one << exponentBits) - 1));
    coefficient = (raw & ((one << (coefficientBits + 1)) - 1)) | (one << (coefficientBits + 3));
  } else {
    exponent = static_cast<int>((raw >> (coefficientBits + 3)) & ((one << exponentBits) - 1));
    coefficient = raw & ((one << (coefficientBits + 3)) - 1);
  }
  exponent -= n == 8 ? 398 : 6176;
  // A coefficient past the format's digits is non-canonical and means zero.
  unsigned __int128 limit = 1;
  for (int i = 0; i < (n == 8 ? 16 : 34); ++i)
    limit *= 10;
  if (coefficient >= limit)
    coefficient = 0;
  char digits[40];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + static_cast<int>(coefficient % 10));
    coefficient /= 10;
  } while (coefficient != 0);
  std::reverse(digits, digits + count);
  const std::string_view text(digits, count);
  if (exponent >= -64 && exponent <= 64) {
    appendDecimal(text, negative, -exponent, out);
    return true;
  }
  appendDecimal(text, negative, 0, out);
  if (text != "0") {
    out += exponent < 0 ? "E-" : "E+";
    out += std::to_string(exponent < 0 ? -exponent : exponent);
  }
  return true;
}

bool decodeEdited(std::string_view bytes, const CodePage &page, bool comma, std::string &out) {
  const char point = comma ? ',' : '.';
  char digits[64];
  std::size_t count = 0;
  int scale = 0;
  bool afterPoint = false;
  bool negative = false;
  std::string exponent;
  bool inExponent = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = page.ascii(static_cast<unsigned char>(bytes[i]));
    if (c >= '0' && c <= '9') {
      if (inExponent) {
        exponent += c;
      } else {
        if (count == sizeof digits)
          return false;
        digits[count++] = c;
        scale += afterPoint ? 1 : 0;
      }
    } else if (c == point) {
      afterPoint = true;
    } else if (c == '-' || c == '+') {
      if (inExponent && exponent.empty())
        exponent += c;
      else if (!inExponent && c == '-')
        negative = true;
    } else if (c == 'E' && count > 0) {
      inExponent = true;
    } else if ((c == 'C' || c == 'D') && i + 1 < bytes.size()) {
      const char next = page.ascii(static_cast<unsigned char>(bytes[i + 1]));
      if ((c == 'C' && next != 'R') || (c == 'D' && next != 'B'))
        return false;
      negative = true;
      ++i;
    } else if (c != ' ' && c != '*' && c != '$' && c != '/' && c != (comma ? '.' : ',')) {
      return false;
    }
  }
  if (inExponent) {
    if (exponent.empty() || exponent == "+" || exponent == "-")
      return false;
    if (negative)
      out += '-';
    out.append(digits, count - static_cast<std::size_t>(scale));
    if (count == static_cast<std::size_t>(scale))
      out += '0';
    if (scale > 0) {
      out += '.';
      out.append(digits + count - scale, static_cast<std::size_t>(scale));
    }
    out += 'E';
    out += exponent;
    return true;
  }
  appendDecimal(std::string_view(digits, count), negative, scale, out);
  return true;
}

bool integerOf(std::string_view number, std::int64_t &value) {
  const std::size_t point = number.find('.');
  if (point != std::string_view::npos) {
    if (number.find_first_not_of('0', point + 1) != std::string_view::npos)
      return false;
    number = number.substr(0, point);
  }
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  return result.ec == std::errc() && result.ptr == number.data() + number.size();
}
