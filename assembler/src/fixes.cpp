#include "fixes.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "chars.h"
#include "encoder.h"
#include "line_index.h"

namespace quellmark {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Where a statement's mnemonic stands when a fix puts it on a line of its
// own: the formatter's column.
constexpr std::string_view kIndent = "        ";

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = toLowerAscii(c);
  return out;
}

bool endsToken(char c) {
  return isSeparator(c) || c == ';' || c == '\0' || c == ':';
}

std::size_t tokenEnd(std::string_view line, std::size_t from) {
  while (from < line.size() && !endsToken(line[from])) ++from;
  return from;
}

std::size_t skipBlanks(std::string_view line, std::size_t from) {
  while (from < line.size() && (line[from] == ' ' || line[from] == '\t')) ++from;
  return from;
}

// The tokens of a statement up to its comment, as the assembler splits them.
std::vector<std::string_view> tokensOf(std::string_view statement) {
  statement = statement.substr(0, statement.find(';'));
  std::vector<std::string_view> tokens;
  std::size_t at = 0;
  while (true) {
    while (at < statement.size() && isSeparator(statement[at])) ++at;
    if (at == statement.size()) return tokens;
    const std::size_t end = tokenEnd(statement, at);
    if (end == at) return {};  // a colon or a NUL: not a plain statement
    tokens.push_back(statement.substr(at, end - at));
    at = end;
  }
}

std::optional<std::int64_t> decimal(std::string_view token) {
  std::int64_t value = 0;
  const char* first = token.data() + (token.starts_with('+') ? 1 : 0);
  const char* last = token.data() + token.size();
  if (first == last || (token.starts_with('+') && token.size() > 1 && token[1] == '-')) return {};
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last) return {};
  return value;
}

// What a number in a notation the assembler does not read was meant to be:
// 0x10, 0b101, 0o17 and 'A'.
std::optional<std::int64_t> meantNumber(std::string_view token) {
  if (token.size() == 3 && token.front() == '\'' && token.back() == '\'') {
    return static_cast<unsigned char>(token[1]);
  }
  if (token.size() < 3 || token[0] != '0') return {};
  const char kind = toLowerAscii(token[1]);
  const int base = kind == 'x' ? 16 : kind == 'b' ? 2 : kind == 'o' ? 8 : 0;
  if (base == 0) return {};
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(token.data() + 2, token.data() + token.size(), value, base);
  if (error != std::errc() || end != token.data() + token.size()) return {};
  return value;
}

// The values a statement's text operand may take without a finding, by
// the statement's first word; nothing where the value alone does not tell
// (a branch's offset counts from its own address; a constant's uses are
// elsewhere).
std::optional<std::pair<std::int64_t, std::int64_t>> textRange(std::string_view head, Build build) {
  // A data word takes any number a word holds, signed or not, and so does
  // `num`; a byte the same of eight bits.
  if (build == Build::full && (head == "num" || head == "dw")) return std::pair{-32768, 65535};
  if (build == Build::full && head == "db") return std::pair{-128, 255};
  // An instruction's text operand: what its field holds, by the table of
  // operand fields. A branch's offset counts from its own address.
  const InstructionForm* form = formNamed(head, build);
  if (!form || form->textOperand < 0 || form->form == Form::branch) return {};
  const FormLayout layout = layoutOf(form->form);
  for (std::size_t i = 0; i < layout.count; ++i) {
    const OperandField& field = layout.fields[i];
    if (field.operand != form->textOperand) continue;
    const std::int64_t values = std::int64_t{1} << field.width;
    return field.isSigned ? std::pair{-values / 2, values / 2 - 1} : std::pair{std::int64_t{0}, values - 1};
  }
  return {};
}

// The statement's first word, after a label.
std::string_view headOf(std::string_view line) {
  std::size_t at = skipBlanks(line, 0);
  std::size_t end = tokenEnd(line, at);
  if (end < line.size() && line[end] == ':') {
    at = skipBlanks(line, end + 1);
    end = tokenEnd(line, at);
  }
  return line.substr(at, end - at);
}

Fix replace(const FindingAt& f, std::size_t length, std::string text, std::string note) {
  Fix fix;
  fix.note = std::move(note);
  fix.edits.push_back(Edit{Span{f.line, f.column, static_cast<std::uint32_t>(length)}, std::move(text)});
  return fix;
}

}  // namespace

std::size_t editDistance(std::string_view a, std::string_view b, std::size_t limit) {
  constexpr std::size_t kLongest = 127;
  const std::size_t longer = std::max(a.size(), b.size());
  if (longer - std::min(a.size(), b.size()) > limit || longer > kLongest) return limit + 1;
  // Three rows of the table of distances between prefixes suffice.
  std::array<std::uint8_t, kLongest + 1> before{};
  std::array<std::uint8_t, kLongest + 1> last{};
  std::array<std::uint8_t, kLongest + 1> row{};
  for (std::size_t j = 0; j <= b.size(); ++j) last[j] = static_cast<std::uint8_t>(j);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    row[0] = static_cast<std::uint8_t>(i);
    std::size_t best = row[0];
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
      int value = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) value = std::min(value, before[j - 2] + 1);
      row[j] = static_cast<std::uint8_t>(value);
      best = std::min<std::size_t>(best, row[j]);
    }
    if (best > limit) return limit + 1;
    std::swap(before, last);
    std::swap(last, row);
  }
  return std::min<std::size_t>(last[b.size()], limit + 1);
}

std::optional<std::int32_t> FixFinder::valueOf(std::string_view name) {
  if (sorted_.size() != names_.count()) {
    sorted_.clear();
    sorted_.reserve(names_.count());
    for (std::size_t i = 0; i < names_.count(); ++i) sorted_.emplace_back(names_.name(i), names_.value(i));
    std::sort(sorted_.begin(), sorted_.end());
  }
  const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), name,
                                   [](const auto& entry, std::string_view n) { return entry.first < n; });
  if (it == sorted_.end() || it->first != name) return {};
  return it->second;
}

// Whether `token` (lower case) names `name` for the assembler: as itself,
// or glued to what a pattern reads before a text operand, which stops at
// no blank (`jname` is `j name`, `r2name` after a register is `r2 name`).
bool names(std::string_view token, std::string_view name) {
  if (token == name) return true;
  if (token.size() <= name.size() || !token.ends_with(name)) return false;
  std::string_view before = token.substr(0, token.size() - name.size());
  if (before == "j") return true;
  if (before[0] != 'r') return false;
  before.remove_prefix(1);
  if (!before.empty() && (before[0] == '-' || before[0] == '+')) before.remove_prefix(1);
  return !before.empty() && std::all_of(before.begin(), before.end(), [](char c) { return isDigit(c); });
}

bool FixFinder::standsOnce(const std::string& name) {
  constexpr std::size_t kMostNames = 16;
  if (const auto known = once_.find(name); known != once_.end()) return known->second;
  if (once_.size() >= kMostNames || name.empty()) return false;
  std::size_t count = 0;
  std::string token;
  // A line read in pieces has tokens the bytes do not show, cut at each
  // piece's end: one that holds the name anywhere may name it.
  std::string line;
  std::vector<char> chunk(std::size_t{1} << 16);  // not on the stack: the page's is 64 KiB
  std::uint64_t at = 0;
  while (count < 2) {
    const std::ptrdiff_t n = source_.readAt(at, chunk);
    if (n < 0) {
      count = 2;  // unread: taken as named elsewhere
      break;
    }
    // A last blank ends the last token.
    const std::size_t size = n == 0 ? 1 : static_cast<std::size_t>(n);
    for (std::size_t i = 0; i < size; ++i) {
      const char c = n == 0 ? '\n' : chunk[i];
      if (c == '\n') {
        if (line.size() > kPieceLength - 1 && line.find(name) != std::string::npos) count = 2;
        line.clear();
      } else {
        line += toLowerAscii(c);
      }
      if (endsToken(c) || c == '\r' || c == '\n') {
        if (!token.empty() && names(token, name)) ++count;
        token.clear();
      } else {
        token += toLowerAscii(c);
      }
    }
    if (n == 0) break;
    at += static_cast<std::uint64_t>(n);
  }
  once_.emplace(name, count == 1);
  return count == 1;
}

std::optional<std::string> FixFinder::nearestName(std::string_view name) {
  const auto known = nearest_.find(std::string(name));
  if (known != nearest_.end()) return known->second;
  // The defined name nearest to it, within two edits (one for a name of
  // three letters or fewer); none when two are as near.
  const std::size_t limit = name.size() <= 3 ? 1 : 2;
  std::optional<std::string> found;
  std::size_t best = limit + 1;
  bool tied = false;
  constexpr std::uint64_t kMostComparisons = std::uint64_t{1} << 22;
  if (compared_ + names_.count() > kMostComparisons) return std::nullopt;
  compared_ += names_.count();
  for (std::size_t i = 0; i < names_.count(); ++i) {
    const std::string_view other = names_.name(i);
    const std::size_t distance = editDistance(name, other, std::min(best, limit));
    if (distance > limit || distance > best) continue;
    tied = distance == best;
    if (!tied) found = std::string(other);
    best = distance;
  }
  if (tied) found.reset();
  nearest_.emplace(std::string(name), found);
  return found;
}

bool FixFinder::fits(std::string_view statement) {
  const std::vector<std::string_view> tokens = tokensOf(statement);
  if (tokens.empty()) return false;
  const InstructionForm* form = formNamed(lowered(tokens[0]), build_);
  if (!form || form->form == Form::branch || form->form == Form::data || tokens.size() != std::size_t{form->operands} + 1) return false;
  // The pattern's operands, in order: "r%d" a register, "%s" a number or a
  // name, "%d" a number.
  const std::vector<std::string_view> parts = tokensOf(form->pattern);
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const std::string operand = lowered(tokens[i]);
    if (parts[i] == "r%d") {
      if (operand.size() != 2 || operand[0] != 'r' || operand[1] < '0' || operand[1] > '7') return false;
      continue;
    }
    const auto range = textRange(form->mnemonic(), build_);
    std::optional<std::int64_t> value = decimal(operand);
    if (!value && parts[i] == "%s") value = valueOf(operand);
    if (!range || !value || *value < range->first || *value > range->second) return false;
  }
  return true;
}

std::optional<Fix> FixFinder::instructionFix(const FindingAt& f, std::string_view line) {
  const std::size_t at = f.column - 1;
  const std::size_t end = tokenEnd(line, at);
  const std::string token = lowered(line.substr(at, end - at));
  // A data directive behind a label in the full build: the label goes on a
  // line of its own, where it names the directive's first word.
  if (build_ == Build::full && (token == "dw" || token == "db")) {
    const std::size_t colon = line.rfind(':', at);
    if (colon == std::string_view::npos || skipBlanks(line, colon + 1) != at) return {};
    const std::string_view rest = line.substr(at);
    const auto range = textRange(token, build_);
    // One value: the directive's one word takes the place of the word the
    // line makes now, and nothing after it moves.
    const std::vector<std::string_view> tokens = tokensOf(rest);
    if (tokens.size() != 2) return {};
    const auto value = decimal(tokens[1]);
    if (!value || *value < range->first || *value > range->second) return {};
    Fix fix;
    fix.note = "put '" + token + "' on a line of its own, which the label then names";
    const std::string feed = line.ends_with('\r') ? "\r\n" : "\n";
    fix.edits.push_back(Edit{Span{f.line, static_cast<std::uint32_t>(colon + 2),
                                  static_cast<std::uint32_t>(at - colon - 1)},
                             feed + std::string(kIndent)});
    return fix;
  }
  // A mnemonic one slip away: the one whose operands the line has; of two,
  // the one the word begins. A word taken for a label loses its label to
  // the fix, so no other line may name it.
  std::vector<std::string_view> near;
  for (const InstructionForm& form : kInstructionForms) {
    const std::string_view mnemonic = form.mnemonic();
    // `num` is a form of the intermediate text only, no mnemonic a source may use.
    if (form.form == Form::data || (build_ == Build::reduced && form.fullBuildOnly) ||
        editDistance(token, mnemonic, 1) != 1) {
      continue;
    }
    if (fits(std::string(mnemonic) + std::string(line.substr(end)))) near.push_back(mnemonic);
  }
  if (near.size() > 1) {
    std::erase_if(near, [&](std::string_view m) { return !m.starts_with(token); });
  }
  if (near.size() != 1) return {};
  // In the reduced build a label's words are counted otherwise: no fix there.
  if (f.message.find("taken as a label") != std::string::npos &&
      (build_ == Build::reduced || !standsOnce(token))) {
    return {};
  }
  return replace(f, end - at, std::string(near[0]), "did you mean '" + std::string(near[0]) + "'?");
}

std::optional<Fix> FixFinder::undefinedFix(const FindingAt& f, std::string_view line) {
  const std::size_t at = f.column - 1;
  const std::size_t end = tokenEnd(line, at);
  const std::string_view token = line.substr(at, end - at);
  // A colon inside an operand is part of the name the assembler reads.
  if (end < line.size() && line[end] == ':') return {};
  const std::string head = lowered(headOf(line));
  const auto range = textRange(head, build_);
  if (!range) return {};
  std::optional<std::int64_t> value = meantNumber(token);
  std::string meant;
  if (value) {
    meant = std::to_string(*value);
  } else if (head != "dw" && head != "db" && f.message.find(" is not defined") != std::string::npos) {
    const std::optional<std::string> name = nearestName(lowered(token));
    if (!name) return {};
    meant = *name;
    value = valueOf(*name);
  }
  if (!value || *value < range->first || *value > range->second) return {};
  return replace(f, end - at, meant, "did you mean '" + meant + "'?");
}

std::optional<Fix> FixFinder::colonFix(const FindingAt& f, std::string_view line) {
  const std::size_t colon = f.column - 1;
  const std::size_t start = skipBlanks(line, 0);
  const std::size_t end = tokenEnd(line, start);
  if (end == start || skipBlanks(line, end) != colon || colon >= line.size() || line[colon] != ':' ||
      // `dw` and `db` as labels draw a finding of their own in the reduced build.
      !isNameToken(line.substr(start, end - start), Build::full)) {
    return {};
  }
  // The label keeps its value; what follows the colon must assemble as it
  // stands, as the assembler will read it now.
  if (!fits(line.substr(colon + 1))) return {};
  return Fix{"remove the blank before the colon",
             {Edit{Span{f.line, static_cast<std::uint32_t>(end + 1), static_cast<std::uint32_t>(colon - end)}, ""}}};
}

std::optional<Fix> FixFinder::byteOrderMarkFix(std::string_view line) {
  // Where a label follows the mark, it gets its own name back, which no
  // other line may define, and loses the name with the mark, which no other
  // line may use; where a statement does, it becomes a word and moves every
  // address after it, so the mark stays for the user to weigh.
  const std::string_view rest = line.substr(kByteOrderMark.size());
  if (rest.starts_with(kByteOrderMark)) return {};  // a second mark stays
  const std::size_t end = tokenEnd(rest, 0);
  if (end < rest.size() && rest[end] == ':') {
    const std::string_view label = rest.substr(0, end);
    if (!isNameToken(label, Build::full) || valueOf(lowered(label)) ||
        !standsOnce(lowered(std::string(kByteOrderMark) + std::string(label)))) {
      return {};
    }
  } else {
    // The mark alone is a word of its own in the reduced build, as a lone
    // label is; the line without it makes none.
    std::size_t start = 0;
    while (start < rest.size() && isSeparator(rest[start])) ++start;
    if (build_ == Build::reduced || (start < rest.size() && rest[start] != ';') ||
        !standsOnce(std::string(kByteOrderMark))) {
      return {};
    }
  }
  return Fix{"remove the byte-order mark", {Edit{Span{1, 1, static_cast<std::uint32_t>(kByteOrderMark.size())}, ""}}};
}

std::optional<Fix> FixFinder::fixFor(const FindingAt& f) {
  if (!f.text || f.column == 0 || f.column > f.text->size()) return {};
  const std::string_view line = *f.text;
  // A finding inside a token (`one` of `r0one`, which the pattern reads as
  // r0 and `one`) is mended by no edit of its own.
  if (f.column > 1 && !isSeparator(line[f.column - 2]) && f.name != "label-colon") return {};
  // The mark's own finding speaks of the first token: it alone is mended
  // on that line.
  if (line.starts_with(kByteOrderMark) && f.line == 1) {
    return f.name == "byte-order-mark" ? byteOrderMarkFix(line) : std::nullopt;
  }
  std::optional<Fix> fix;
  if (f.name == "not-an-instruction") fix = instructionFix(f, line);
  if (f.name == "undefined") fix = undefinedFix(f, line);
  if (f.name == "label-colon") fix = colonFix(f, line);
  // The line (or lines) it makes must still be read in one piece each.
  // Pass 2 reads the intermediate line in pieces too, which may be longer
  // than its source line: a fix lengthens a line only while it stays well
  // short of a piece.
  constexpr std::size_t kRoom = 64;
  if (fix) {
    std::vector<Edit> here = fix->edits;
    for (Edit& e : here) e.at.line = 1;
    const std::string fixed = applyEdits(line, here);
    for (std::size_t at = 0, end; at <= fixed.size(); at = end + 1) {
      end = std::min(fixed.find('\n', at), fixed.size());
      if (end - at > kPieceLength - 1) return std::nullopt;
      if (end - at > line.size() && end - at > kRoom) return std::nullopt;
    }
  }
  return fix;
}

FindingAt findingAt(const Finding& finding) {
  FindingAt at{finding.name, finding.at.message, finding.at.line, finding.at.column, std::nullopt};
  const SourceLine* source = finding.at.source;
  if (source && source->pieces == 1) {
    const std::string_view text = source->bytes(0, static_cast<std::size_t>(source->length));
    if (text.size() == source->length) at.text = text;
  }
  return at;
}

namespace {

class AnalysisNames final : public NameList {
 public:
  explicit AnalysisNames(const std::vector<Name>& names) : names_(names) {}
  [[nodiscard]] std::size_t count() const override { return names_.size(); }
  [[nodiscard]] std::string_view name(std::size_t i) const override { return names_[i].name; }
  [[nodiscard]] std::int32_t value(std::size_t i) const override { return names_[i].value; }

 private:
  const std::vector<Name>& names_;
};

}  // namespace

std::vector<FoundFix> fixesOf(const Analysis& analysis, std::string_view source, Build build,
                              std::uint32_t first, std::uint32_t last) {
  std::vector<FoundFix> found;
  const AnalysisNames names(analysis.names);
  const MemoryText text(source);
  FixFinder finder(names, build, text);
  // The findings come in source order: their lines are found in one reading.
  std::uint32_t line = 1;
  std::size_t lineStart = 0;
  // The line of the findings at hand, found once for all of them: a line
  // of a mebibyte may have tens of thousands.
  std::uint32_t known = 0;
  std::string_view whole;
  for (std::size_t i = 0; i < analysis.findings.size(); ++i) {
    const Diagnosis& d = analysis.findings[i];
    if (d.at.line < first || d.at.line < line) continue;
    if (d.at.line > last) break;
    while (line < d.at.line) {
      const std::size_t feed = known == line ? lineStart + whole.size() : source.find('\n', lineStart);
      if (feed >= source.size()) return found;
      lineStart = feed + 1;
      ++line;
    }
    if (known != line) {
      const std::size_t feed = source.find('\n', lineStart);
      whole = source.substr(lineStart, (feed == std::string_view::npos ? source.size() : feed) - lineStart);
      known = line;
    }
    FindingAt at{d.name, d.message, d.at.line, d.at.column, std::nullopt};
    if (whole.size() <= kPieceLength - 1) at.text = whole;
    if (std::optional<Fix> fix = finder.fixFor(at)) found.push_back(FoundFix{i, std::move(*fix)});
  }
  return found;
}

}  // namespace quellmark
