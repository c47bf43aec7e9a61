#include "format.h"

#include <array>
#include <cstring>

#include "chars.h"
#include "encoder.h"
#include "normaliser.h"

namespace quellmark {

namespace {

// The longest line the assembler reads in one piece, without its line feed.
constexpr std::size_t kOnePiece = 98;

bool isRegister(std::string_view token) {
  if (token.size() < 2 || (token[0] != 'r' && token[0] != 'R')) return false;
  for (std::size_t i = 1; i < token.size(); ++i) {
    if (!isDigit(token[i])) return false;
  }
  return true;
}

std::string_view lowerInto(std::string_view token, std::array<char, kOnePiece>& room) {
  for (std::size_t i = 0; i < token.size(); ++i) room[i] = toLowerAscii(token[i]);
  return {room.data(), token.size()};
}

// Pads `out` with blanks up to `column` (from 1), or with one blank past
// it. Columns count letters as an editor shows them, not bytes: a label
// `été:` is 4 wide.
void padTo(std::string& out, std::size_t column) {
  std::size_t width = 0;
  for (const char c : out) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  out.append(width + 1 < column ? column - 1 - width : 1, ' ');
}

class LineFormatter {
 public:
  explicit LineFormatter(Build build) : build_(build) {}

  // The new layout of `line` (without its line end) into `out`; false when
  // the line stays as it is.
  bool format(std::string_view line, std::string& out) {
    out.clear();
    if (line.size() > kOnePiece) return false;
    std::size_t semicolon = std::string_view::npos;
    if (!split(line, semicolon)) return false;
    if (count_ == 0) return false;  // blank, or a comment alone: as it is
    std::size_t at = 0;
    if (hasLabel_) {
      out.append(tokens_[0]);
      out += ':';
      at = 1;
    }
    if (at < count_) {
      std::array<char, kOnePiece> room{};
      const std::string_view head = lowerInto(tokens_[at], room);
      const InstructionForm* form = formNamed(head, build_);
      const bool data = build_ == Build::full && (head == "dw" || head == "db");
      if (head == "define") {
        if (hasLabel_) return false;
        out.append(head);
        for (std::size_t i = at + 1; i < count_; ++i) (out += ' ').append(tokens_[i]);
      } else if (form || data) {
        padTo(out, kMnemonicColumn);
        out.append(head);
        const bool offset = form && (form->form == Form::load || form->form == Form::store) && count_ - at == 4;
        for (std::size_t i = at + 1; i < count_; ++i) {
          if (i == at + 1) {
            form && form->form != Form::data ? padTo(out, kOperandColumn) : void(out += ' ');
          } else if (!(offset && i == at + 3)) {
            out += ", ";
          }
          if (offset && i == at + 3) out += '(';
          out.append(isRegister(tokens_[i]) ? lowerInto(tokens_[i], room) : tokens_[i]);
          if (offset && i == at + 3) out += ')';
        }
      } else {
        return false;
      }
    }
    if (semicolon != std::string_view::npos) {
      padTo(out, kCommentColumn);
      out.append(line.substr(semicolon));
    } else if (line.ends_with('\r')) {
      out += '\r';
    }
    if (out == line) return false;
    if (out.size() <= kOnePiece && readsAlike(line, out)) return true;
    // A blank that ends the code is read as part of it: one is kept.
    if (semicolon != std::string_view::npos) return false;
    out.insert(out.size() - (line.ends_with('\r') ? 1 : 0), 1, ' ');
    return out != line && out.size() <= kOnePiece && readsAlike(line, out);
  }

 private:
  // The tokens of the code; false for what the layout does not know: a
  // colon anywhere but at the end of the first token.
  // `semicolon` is set to where the comment begins; a NUL ends the line
  // for the assembler, and such a line stays as it is.
  bool split(std::string_view line, std::size_t& semicolon) {
    count_ = 0;
    hasLabel_ = false;
    std::size_t at = 0;
    std::string_view code = line;
    while (true) {
      while (at < code.size() && isSeparator(code[at])) ++at;
      if (at == code.size()) return true;
      std::size_t end = at;
      while (end < code.size() && !isSeparator(code[end]) && code[end] != ';' && code[end] != '\0') ++end;
      if (end < code.size() && code[end] == '\0') return false;
      if (end < code.size() && code[end] == ';') {
        if (line.find('\0', end) != std::string_view::npos) return false;
        semicolon = end;
        code = code.substr(0, end);
        if (end == at) return true;
      }
      std::string_view token = code.substr(at, end - at);
      const std::size_t colon = token.find(':');
      if (colon != std::string_view::npos) {
        // A label: the first token up to its colon; what follows the colon
        // is the next token.
        if (count_ != 0 || colon == 0) return false;
        hasLabel_ = true;
        tokens_[count_++] = token.substr(0, colon);
        token.remove_prefix(colon + 1);
        if (token.empty()) {
          at = end;
          continue;
        }
        if (token.find(':') != std::string_view::npos) return false;
      }
      if (count_ == tokens_.size()) return false;
      tokens_[count_++] = token;
      at = end;
    }
  }

  // Whether the assembler's canonical forms of the two lines are the same.
  bool readsAlike(std::string_view a, std::string_view b) {
    std::memcpy(left_.data(), a.data(), a.size());
    std::memcpy(right_.data(), b.data(), b.size());
    return normalise(std::span(left_.data(), a.size())) == normalise(std::span(right_.data(), b.size()));
  }

  Build build_;
  std::array<std::string_view, 50> tokens_{};
  std::size_t count_ = 0;
  bool hasLabel_ = false;
  std::array<char, kOnePiece> left_{};
  std::array<char, kOnePiece> right_{};
};

template <typename Changed>
void eachChange(std::string_view source, Build build, std::uint32_t first, std::uint32_t last,
                Changed changed) {
  LineFormatter formatter(build);
  std::string out;
  std::uint32_t number = 0;
  for (std::size_t at = 0; at < source.size() || (at == source.size() && number == 0);) {
    ++number;
    const std::size_t feed = source.find('\n', at);
    const std::size_t end = feed == std::string_view::npos ? source.size() : feed;
    if (number > last) return;
    if (number >= first && formatter.format(source.substr(at, end - at), out)) {
      // The CR of a CR LF line end stays out of the edit: editors keep it
      // with the line end.
      const bool cr = end > at && source[end - 1] == '\r' && out.ends_with('\r');
      if (cr) out.pop_back();
      changed(number, at, end - at - (cr ? 1 : 0), out);
    }
    if (feed == std::string_view::npos) return;
    at = feed + 1;
  }
}

}  // namespace

std::vector<Edit> formatEdits(std::string_view source, Build build, std::uint32_t first,
                              std::uint32_t last) {
  std::vector<Edit> edits;
  eachChange(source, build, first, last,
             [&](std::uint32_t line, std::size_t, std::size_t length, const std::string& text) {
               edits.push_back(Edit{Span{line, 1, static_cast<std::uint32_t>(length)}, text});
             });
  return edits;
}

std::string formatSource(std::string_view source, Build build) {
  std::string out;
  out.reserve(source.size() + source.size() / 4);
  std::size_t copied = 0;
  eachChange(source, build, 1, UINT32_MAX,
             [&](std::uint32_t, std::size_t at, std::size_t length, const std::string& text) {
               out.append(source.substr(copied, at - copied));
               out += text;
               copied = at + length;
             });
  out.append(source.substr(copied));
  return out;
}

}  // namespace quellmark
