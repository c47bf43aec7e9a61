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

// Finds fixes for the findings of one source, from the names its walk
// collected. Each distinct undefined name is compared with them once.
class FixFinder {
 public:
  FixFinder(const Walk& walk, const SeekableSource& source) : walk_(walk), source_(source) {}
  // The fix of `finding`, whose line may be read, or nothing.
  [[nodiscard]] std::optional<Fix> fixFor(const Finding& finding);

 private:
  std::optional<std::string> nearestName(std::string_view name);
  std::optional<Fix> instructionFix(const Finding& finding, std::string_view line);
  std::optional<Fix> undefinedFix(const Finding& finding, std::string_view line);
  std::optional<Fix> colonFix(const Finding& finding, std::string_view line);
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

  const Walk& walk_;
  const SeekableSource& source_;
  std::unordered_map<std::string, bool> once_;
  std::unordered_map<std::string, std::optional<std::string>> nearest_;
  std::vector<std::pair<std::string_view, std::int32_t>> sorted_;
};

// The number of single-letter edits (insert, delete, replace, or swap of
// two neighbours) from `a` to `b`, when at most `limit`; else limit + 1.
std::size_t editDistance(std::string_view a, std::string_view b, std::size_t limit);

// `source` with every edit applied; the edits must not overlap.
std::string applyEdits(std::string_view source, std::vector<Edit> edits);

}  // namespace quellmark
