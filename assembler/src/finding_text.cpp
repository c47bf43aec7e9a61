// Findings as compilers print them: "FILE:LINE:COLUMN: warning: MESSAGE
// [-WNAME]", the part of the line shown, and a caret under the column.
#include <algorithm>
#include <charconv>

#include "checker.h"
#include "fixes.h"

namespace quellmark {

namespace {

constexpr std::size_t kShownBytes = 200;

}  // namespace

namespace {

void appendShown(std::string_view file, const Remark& r, std::string_view kind,
                 std::string_view name, std::string& out) {
  const Shown part = r.source ? shownPart(*r.source, r.column) : r.shown;
  const std::string_view text = part.text;
  const std::uint64_t column = r.column > 0 ? r.column - 1 : 0;
  const std::size_t blanks =
      column > part.start ? static_cast<std::size_t>(column - part.start) : 0;
  constexpr std::string_view kCut = "...";
  // Room for all of it is made once (two numbers of ten digits at most and
  // the punctuation), and the parts are copied in.
  const std::size_t start = out.size();
  out.resize(start + file.size() + kind.size() + r.message.size() + name.size() + text.size() +
             blanks + 64);
  char* at = out.data() + start;
  const auto put = [&at](std::string_view part) { at = std::copy(part.begin(), part.end(), at); };
  const auto number = [&at](std::uint32_t value) { at = std::to_chars(at, at + 11, value).ptr; };
  put(file);
  *at++ = ':';
  number(r.line);
  *at++ = ':';
  number(r.column);
  put(": ");
  put(kind);
  put(": ");
  put(r.message);
  if (!name.empty()) {
    put(" [-W");
    put(name);
    *at++ = ']';
  }
  *at++ = '\n';
  if (part.cutBefore) put(kCut);
  put(text);
  if (part.cutAfter) put(kCut);
  *at++ = '\n';
  // Blanks up to the column, with the line's tabs kept so that the caret
  // lines up however tabs are shown.
  if (part.cutBefore) put("   ");
  for (std::size_t i = 0; i < blanks; ++i) *at++ = i < text.size() && text[i] == '\t' ? '\t' : ' ';
  put("^\n");
  out.resize(static_cast<std::size_t>(at - out.data()));
}

}  // namespace

void appendFinding(std::string_view file, const Finding& finding, std::string& out) {
  appendShown(file, finding.at, "warning", finding.name, out);
  if (finding.note) appendShown(file, *finding.note, "note", "", out);
}

void appendFixNote(std::string_view file, const Finding& finding, std::string_view note,
                   std::string& out) {
  out += file;
  out += ':';
  out += std::to_string(finding.at.line);
  out += ':';
  out += std::to_string(finding.at.column);
  out += ": note: ";
  out += note;
  out += '\n';
}

Shown shownPart(const SourceLine& line, std::uint64_t column) {
  const std::uint64_t length = line.length - (line.endsInCr ? 1 : 0);
  Shown part;
  if (length <= kShownBytes) {
    part.text = line.bytes(0, static_cast<std::size_t>(length));
    return part;
  }
  // The first bytes for a column among them, as a short line shows them;
  // else the column about the middle, as far as the line reaches.
  const std::uint64_t at = column > 0 ? column - 1 : 0;
  if (at >= kShownBytes) part.start = std::min(at - kShownBytes / 2, length - kShownBytes);
  part.text = line.bytes(part.start, kShownBytes);
  part.cutBefore = part.start > 0;
  part.cutAfter = part.start + kShownBytes < length;
  return part;
}

std::optional<std::size_t> checkSource(std::string_view file, const SeekableSource& source,
                                       Build build, BufferedWriter& out) {
  Walk walk(build);
  if (!walk.collect(source)) return std::nullopt;
  // Each finding is printed as it comes.
  class Printer final : public FindingListener {
   public:
    Printer(std::string_view file, BufferedWriter& out, const Walk& walk,
            const SeekableSource& source)
        : file_(file), out_(out), names_(walk), fixes_(names_, walk.build(), source) {}
    void found(const Finding& finding) override {
      shown_.clear();
      appendFinding(file_, finding, shown_);
      if (const std::optional<Fix> fix = fixes_.fixFor(findingAt(finding))) {
        appendFixNote(file_, finding, fix->note, shown_);
      }
      out_.write(shown_);
    }

   private:
    std::string_view file_;
    BufferedWriter& out_;
    WalkNames names_;
    FixFinder fixes_;
    std::string shown_;  // kept from finding to finding for its buffer
  } printer(file, out, walk, source);
  Checker checker(walk, printer);
  if (!walk.walk(source, checker)) return std::nullopt;
  return checker.findings();
}

}  // namespace quellmark
