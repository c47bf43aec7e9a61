#include "json_text.h"

namespace quellmark {

void appendJsonString(std::string_view text, std::string& out) {
  constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20) {
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 15];
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    // A whole sequence of two to four bytes, no overlong form, no surrogate.
    // Else the longest start of one (its "maximal subpart") becomes one
    // U+FFFD, as a browser's decoder and the Unicode standard have it, so
    // that a letter a piece cuts shows as one mark.
    const std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    std::size_t good = n > 0 ? 1 : 0;  // bytes of a well-formed start
    while (good > 0 && good < n && i + good < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + good]);
      const unsigned low = good == 1 && c == 0xE0 ? 0xA0 : good == 1 && c == 0xF0 ? 0x90 : 0x80;
      const unsigned high = good == 1 && c == 0xED ? 0x9F : good == 1 && c == 0xF4 ? 0x8F : 0xBF;
      if (next < low || next > high) break;
      ++good;
    }
    if (n == 0 || good < n) {
      out += "\xEF\xBF\xBD";
      i += good > 0 ? good : 1;
      continue;
    }
    out.append(text.substr(i, n));
    i += n;
  }
  out += '"';
}

}  // namespace quellmark
