#include "editor_features.h"

#include <algorithm>

#include "encoder.h"
#include "image.h"
#include "listing.h"
#include "pass1.h"

namespace quellmark {

namespace {

bool contains(const Span& span, std::uint32_t line, std::uint64_t column) {
  return span.line == line && column >= span.column && column <= span.column + span.length;
}

// The words of `before`, lower case, split where the normaliser splits.
std::vector<std::string> wordsOf(std::string_view before) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : before) {
    if (c == ' ' || c == '\t' || c == ',' || c == '(' || c == ')' || c == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  return words;
}

}  // namespace

std::optional<NameAt> nameAt(const Analysis& analysis, std::uint32_t line, std::uint64_t column) {
  const std::optional<std::uint32_t> name = analysis.nameAt(line, column);
  if (!name) return std::nullopt;
  for (const NamePlace& p : analysis.places) {
    if (p.name == *name && contains(p.at, line, column)) return NameAt{*name, p.at};
  }
  return std::nullopt;
}

std::optional<std::string> hoverText(const Analysis& analysis, std::uint32_t line,
                                     std::uint64_t column, bool markdown) {
  const char* const quote = markdown ? "`" : "";
  std::string text;
  if (const std::optional<NameAt> at = nameAt(analysis, line, column)) {
    const Name& n = analysis.names[at->name];
    text = quote + n.name + quote + " = " + std::to_string(n.value) + " (0x" +
           hex4(static_cast<std::uint32_t>(n.value)) + ")";
    text += n.label ? ", a label" : ", a constant";
    const std::vector<Span> definitions = analysis.placesOf(at->name, true);
    for (std::size_t i = 0; i < definitions.size(); ++i) {
      text += i == 0 ? "\n\ndefined at line " : i + 1 == definitions.size() ? ", and last at line "
                                                                            : ", again at line ";
      text += std::to_string(definitions[i].line);
    }
    return text;
  }
  const std::vector<Word>& words = analysis.words;
  const auto first = std::lower_bound(words.begin(), words.end(), line,
                                      [](const Word& w, std::uint32_t l) { return w.line < l; });
  for (auto w = first; w != words.end() && w->line == line; ++w) {
    if (!text.empty()) text += "\n\n";
    text += hexText(w->address) + ": " + hex4(w->word);
    const std::string fields = describeWord(w->mnemonic, w->word, w->address);
    if (!fields.empty()) text += " \u2014 " + fields;
  }
  if (text.empty()) return std::nullopt;
  return text;
}

std::vector<Completion> completionsAfter(const Analysis& analysis, Build build,
                                         std::string_view before) {
  std::vector<Completion> items;
  if (before.find(';') != std::string_view::npos) return items;
  // The words before the one being typed.
  const std::vector<std::string> words = wordsOf(before);
  const auto add = [&items](std::string label, CompletionKind kind, std::string detail) {
    items.push_back(Completion{std::move(label), kind, std::move(detail)});
  };
  const bool directive =
      !words.empty() && (words[0] == "define" ||
                         (build == Build::full && (words[0] == "dw" || words[0] == "db")));
  if (directive) return items;
  // A statement begins at the first word, or behind a label.
  const std::size_t at = !words.empty() && !isMnemonic(words[0]) ? 1 : 0;
  if (words.size() == at) {
    for (const InstructionForm& f : instructionForms()) {
      if (f.form != Form::data) add(std::string(f.mnemonic()), CompletionKind::mnemonic, operandsOf(f));
    }
    if (at == 0) {
      add("define", CompletionKind::directive, "define NAME value");
      if (build == Build::full) {
        add("dw", CompletionKind::directive, "dw value, ...");
        add("db", CompletionKind::directive, "db byte, ...");
      }
    }
    return items;
  }
  const std::string& mnemonic = words[at];
  const auto form = std::find_if(instructionForms().begin(), instructionForms().end(),
                                 [&](const InstructionForm& f) { return f.mnemonic() == mnemonic; });
  if (form == instructionForms().end() || form->form == Form::data) return items;
  const std::size_t operand = words.size() - at - 1;
  if (operand >= form->operandCount()) return items;
  if (!form->readsText(operand)) {
    for (int r = 0; r < 8; ++r) add("r" + std::to_string(r), CompletionKind::reg, "register");
    return items;
  }
  for (const Name& n : analysis.names) {
    add(n.name, n.label ? CompletionKind::label : CompletionKind::constant, std::to_string(n.value));
  }
  return items;
}

std::vector<Span> definitionsOf(const Analysis& analysis, std::uint32_t name) {
  std::vector<Span> spans = analysis.placesOf(name, true);
  std::reverse(spans.begin(), spans.end());
  return spans;
}

std::vector<Span> referencesOf(const Analysis& analysis, std::uint32_t name, bool withDefinitions) {
  std::vector<Span> spans;
  if (withDefinitions) spans = analysis.placesOf(name, true);
  const std::vector<Span> uses = analysis.placesOf(name, false);
  spans.insert(spans.end(), uses.begin(), uses.end());
  return spans;
}

std::vector<Highlight> highlightsOf(const Analysis& analysis, std::uint32_t name) {
  std::vector<Highlight> marks;
  for (const bool definitions : {true, false}) {
    for (const Span& s : analysis.placesOf(name, definitions)) marks.push_back(Highlight{s, definitions});
  }
  return marks;
}

std::optional<std::string> renameRefusal(std::string_view newName, Build build) {
  if (isNameToken(newName, build)) return std::nullopt;
  return "`" + std::string(newName) +
         "` is no name the assembler reads as one: a mnemonic, a register, a number or a text "
         "with separators";
}

std::vector<Span> renamePlaces(const Analysis& analysis, std::uint32_t name) {
  return referencesOf(analysis, name, true);
}

std::vector<OutlineEntry> outline(const Analysis& analysis) {
  std::vector<const NamePlace*> last(analysis.names.size());
  for (const NamePlace& p : analysis.places) {
    if (p.definition) last[p.name] = &p;
  }
  std::vector<OutlineEntry> entries;
  for (std::size_t i = 0; i < last.size(); ++i) {
    if (last[i]) entries.push_back(OutlineEntry{static_cast<std::uint32_t>(i), last[i]->at});
  }
  return entries;
}

std::vector<LineLabel> lineLabels(const Analysis& analysis) {
  std::vector<LineLabel> labels;
  const std::vector<Word>& words = analysis.words;
  for (auto w = words.begin(); w != words.end();) {
    LineLabel& l = labels.emplace_back();
    l.line = w->line;
    for (; w != words.end() && w->line == l.line; ++w) {
      l.label += l.label.empty() ? "" : "  ";
      l.label += hexText(w->address) + ": " + hex4(w->word);
    }
  }
  return labels;
}

std::optional<SignatureHelp> signatureAfter(Build build, std::string_view before) {
  if (before.find(';') != std::string_view::npos) return std::nullopt;
  const std::vector<std::string> words = wordsOf(before);
  const std::size_t at = !words.empty() && !isMnemonic(words[0]) ? 1 : 0;
  if (words.size() <= at) return std::nullopt;
  const InstructionForm* form = formNamed(words[at], build);
  if (!form || form->operandCount() == 0 || form->form == Form::data) return std::nullopt;
  const std::size_t operand = words.size() - at - 1;
  if (operand >= form->operandCount()) return std::nullopt;
  // The operands in the order the pattern reads them, as they are written.
  struct Part {
    const char* text;
    const char* about;
  };
  constexpr Part kRegister[] = {{"ra", "a register, r0 to r7"}, {"rb", "a register, r0 to r7"},
                                {"rc", "a register, r0 to r7"}};
  std::vector<Part> parts;
  std::string_view separator = ", ";
  switch (form->form) {
    case Form::registers:
      parts.assign(kRegister, kRegister + form->operandCount());
      break;
    case Form::pushPop:
      parts = {kRegister[0]};
      break;
    case Form::load:
    case Form::store:
      parts = {kRegister[0], {"offset", "offset −64..63 added to rb, a number or a name"}, kRegister[1]};
      break;
    case Form::addImmediate:
      parts = {kRegister[0], kRegister[1], {"value", "value −64..63, a number or a name"}};
      break;
    case Form::branch:
      parts = {kRegister[0], kRegister[1], {"label", "offset −64..63 from the next word"}};
      break;
    case Form::jump:
      parts = {{"target", "address 0..8191, a label or a number"}};
      break;
    case Form::halt:
    case Form::data:
      return std::nullopt;
  }
  SignatureHelp help;
  help.label = std::string(form->mnemonic()) + " ";
  const bool offset = form->form == Form::load || form->form == Form::store;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) help.label += offset && i == 2 ? "(" : separator;
    const auto from = static_cast<std::uint32_t>(help.label.size());
    help.label += parts[i].text;
    help.operands.push_back(OperandHelp{from, static_cast<std::uint32_t>(help.label.size()), parts[i].about});
  }
  if (offset) help.label += ")";
  help.active = static_cast<std::uint32_t>(operand);
  return help;
}

std::string operandsOf(const InstructionForm& f) {
  const std::string m(f.mnemonic());
  switch (f.form) {
    case Form::registers:
      return m + (f.operandCount() == 2 ? " ra, rb" : " ra, rb, rc");
    case Form::pushPop:
      return m + " ra";
    case Form::load:
    case Form::store:
      return m + " ra, offset(rb)";
    case Form::addImmediate:
      return m + " ra, rb, value";
    case Form::branch:
      return m + " ra, rb, target";
    case Form::jump:
      return m + " target";
    case Form::halt:
    case Form::data:
      break;
  }
  return m;
}

std::string describeWord(std::string_view mnemonic, std::uint16_t word, std::uint32_t address) {
  const InstructionForm* form = nullptr;
  for (const InstructionForm& f : instructionForms()) {
    if (f.mnemonic() == mnemonic) form = &f;
  }
  if (!form) return {};
  if (form->form == Form::data) return "data";
  std::string text(mnemonic);
  // Each operand the form reads, at its first field.
  const FormLayout layout = layoutOf(form->form);
  std::uint32_t described = 0;  // a bit for each operand
  for (std::size_t i = 0; i < layout.count; ++i) {
    const OperandField& f = layout.fields[i];
    if (f.operand >= form->operandCount() || (described >> f.operand & 1u)) continue;
    described |= 1u << f.operand;
    const std::int32_t value = fieldValue(word, f);
    text += ", ";
    text += f.name;
    switch (f.kind) {
      case FieldKind::reg:
        text += " r" + std::to_string(value);
        break;
      case FieldKind::number:
        text += " " + std::to_string(value);
        break;
      case FieldKind::relative:
        text += " " + std::to_string(value) + " \u2192 " +
                hex4((address + 1 + static_cast<std::uint32_t>(value)) & 0xFFFFu);
        break;
      case FieldKind::address:
        text += " " + hex4(static_cast<std::uint32_t>(value));
        break;
    }
  }
  return text;
}

}  // namespace quellmark
