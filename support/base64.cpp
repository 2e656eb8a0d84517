// Base64 both ways with a table each way.
#include "support/base64.h"

#include <array>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> values = [] {
  std::array<signed char, 256> table{};
  table.fill(-1);
  for (int i = 0; i < 64; ++i)
    table[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
  return table;
}();

} // namespace

void appendBase64(std::string_view bytes, std::string &out) {
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned group = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
    const char quad[4] = {alphabet[group >> 18], alphabet[(group >> 12) & 63],
                          alphabet[(group >> 6) & 63], alphabet[group & 63]};
    out.append(quad, 4);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 0)
    return;
  unsigned group = static_cast<unsigned char>(bytes[i]) << 16;
  if (rest == 2)
    group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
  out += alphabet[group >> 18];
  out += alphabet[(group >> 12) & 63];
  out += rest == 2 ? alphabet[(group >> 6) & 63] : '=';
  out += '=';
}

bool appendFromBase64(std::string_view text, std::string &out) {
  if (text.size() % 4 != 0)
    return false;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int quad[4];
    int padding = 0;
    for (int j = 0; j < 4; ++j) {
      const char c = text[i + static_cast<std::size_t>(j)];
      if (c == '=' && last && j >= 2) {
        quad[j] = 0;
        ++padding;
        continue;
      }
      quad[j] = values[static_cast<unsigned char>(c)];
      if (quad[j] < 0 || padding != 0)
        return false;
    }
    const unsigned group = static_cast<unsigned>(quad[0] << 18 | quad[1] << 12 | quad[2] << 6 | quad[3]);
    out += static_cast<char>(group >> 16);
    if (padding < 2)
      out += static_cast<char>((group >> 8) & 0xFF);
    if (padding < 1)
      out += static_cast<char>(group & 0xFF);
  }
  return true;
}
