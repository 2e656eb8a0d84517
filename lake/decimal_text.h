#pragma once
// Exact decimal text ("-12.50", "7", "0.05") as the unscaled whole number of a decimal(p, s):
// an int64, or big-endian two's complement bytes. No floating point anywhere.
#include <cstdint>
#include <string>
#include <string_view>

// The number `text` times 10^scale into `out`. False when the text is no
// plain decimal number, has more nonzero decimals than `scale`, or does not fit.
bool unscaledInt64(std::string_view text, int scale, std::int64_t &out);

// The same as two's complement, big-endian: the fewest bytes that hold it
// (`width` 0), or exactly `width` bytes. False as above, or when it needs
// more than `width` bytes.
bool unscaledBytes(std::string_view text, int scale, std::size_t width, std::string &out);

// The whole number `whole` as those bytes (for a number the decoder handed
// over as a whole number already); false when it needs more than `width`.
bool wholeBytes(std::int64_t whole, std::size_t width, std::string &out);
