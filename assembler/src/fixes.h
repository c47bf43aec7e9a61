// Fixes for findings where one edit is clearly meant: a mnemonic or a name
// one slip away from exactly one that exists, a number written in a notation
// the assembler does not read, a blank before a label's colon, a data
// directive behind a label, a byte-order mark. Each fix makes its finding go
// away and adds none; where no edit is clearly meant there is no fix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis.h"
#include "checker.h"
#include "walk.h"

namespace quellmark {

// The names a source defines, with their values (lower case, as the
// assembler keeps them).
class NameList {
 public:
  virtual ~NameList() = default;
  [[nodiscard]] virtual std::size_t count() const = 0;
  [[nodiscard]] virtual std::string_view name(std::size_t index) const = 0;
  [[nodiscard]] virtual std::int32_t value(std::size_t index) const = 0;
};

// A finding as a fix reads it.
struct FindingAt {
  std::string_view name;  // the -W name
  std::string_view message;
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  // Its whole line without the line feed, when the assembler reads the
  // line in one piece; else nothing, and no fix is offered there, since an
  // edit would move what each piece holds.
  std::optional<std::string_view> text;
};

// Finds fixes for the findings of one source. Each distinct undefined name
// is compared with the names once, and all of them together with at most
// a few million names, so that a source of thousands of undefined names
// and thousands of names is not held up by it: past that, a name gets no
// suggestion.
class FixFinder {
 public:
  FixFinder(const NameList& names, Build build, const SeekableSource& source)
      : names_(names), build_(build), source_(source) {}
  [[nodiscard]] std::optional<Fix> fixFor(const FindingAt& finding);

 private:
  std::optional<std::string> nearestName(std::string_view name);
  std::optional<Fix> instructionFix(const FindingAt& finding, std::string_view line);
  std::optional<Fix> undefinedFix(const FindingAt& finding, std::string_view line);
  std::optional<Fix> colonFix(const FindingAt& finding, std::string_view line);
  std::optional<Fix> byteOrderMarkFix(std::string_view line);
  // Whether `statement` (a mnemonic and its operands) assembles without a
  // finding of its own.
  bool fits(std::string_view statement);
  // The value of a defined name; the names are sorted at the first call.
  std::optional<std::int32_t> valueOf(std::string_view name);

  // Whether `name` stands only once in the whole source, as a token: a
  // word taken for a label that no other line names. The source is read
  // for each name asked, for a few names at most.
  bool standsOnce(const std::string& name);

  const NameList& names_;
  Build build_;
  const SeekableSource& source_;
  std::uint64_t compared_ = 0;
  std::unordered_map<std::string, bool> once_;
  std::unordered_map<std::string, std::optional<std::string>> nearest_;
  std::vector<std::pair<std::string_view, std::int32_t>> sorted_;
};

// The names of a walk, and of an analysis.
class WalkNames final : public NameList {
 public:
  explicit WalkNames(const Walk& walk) : names_(walk.names()) {}
  [[nodiscard]] std::size_t count() const override { return names_.size(); }
  [[nodiscard]] std::string_view name(std::size_t i) const override { return names_[i].name; }
  [[nodiscard]] std::int32_t value(std::size_t i) const override { return names_[i].value; }

 private:
  const ChunkedVector<NameFacts>& names_;
};

// The finding as a fix reads it; its line is read when it is one piece.
FindingAt findingAt(const Finding& finding);

// The fixes of the findings of `analysis` on lines `first` to `last` (from
// 1), by the index of each finding; `source` is the text analysed.
struct FoundFix {
  std::size_t finding = 0;
  Fix fix;
};
std::vector<FoundFix> fixesOf(const Analysis& analysis, std::string_view source, Build build,
                              std::uint32_t first = 1, std::uint32_t last = UINT32_MAX);

// The number of single-letter edits (insert, delete, replace, or swap of
// two neighbours) from `a` to `b`, when at most `limit`; else limit + 1.
std::size_t editDistance(std::string_view a, std::string_view b, std::size_t limit);

}  // namespace quellmark
