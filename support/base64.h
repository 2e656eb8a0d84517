#pragma once
// Base64 (RFC 4648, with padding): record bytes carried inside JSON and CSV text.
#include <string>
#include <string_view>

// Appends the base64 text of `bytes` to `out`.
void appendBase64(std::string_view bytes, std::string &out);

// Appends the bytes of base64 `text` to `out`; false (with `out` in an
// unspecified state) when it is no padded base64.
bool appendFromBase64(std::string_view text, std::string &out);
