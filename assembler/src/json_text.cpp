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
    std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (n > 0 && i + n <= text.size()) {
      for (std::size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) n = 0;
      }
      const auto second = n > 0 ? static_cast<unsigned char>(text[i + 1]) : 0;
      if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second >= 0xA0) ||
          (c == 0xF0 && second < 0x90) || (c == 0xF4 && second >= 0x90)) {
        n = 0;
      }
    } else {
      n = 0;
    }
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    out.append(text.substr(i, n));
    i += n;
  }
  out += '"';
}

}  // namespace quellmark
