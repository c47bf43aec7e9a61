// The language server's answers to requests about a document: each a
// feature of the analysis (editor_features) written as the protocol wants.
#include <algorithm>
#include <charconv>

#include "fixes.h"
#include "json_text.h"
#include "format.h"
#include "server_state.h"

namespace quellmark {

using namespace server;

namespace {

int completionKind(CompletionKind kind) {
  switch (kind) {
    case CompletionKind::mnemonic:
    case CompletionKind::directive:
      return kCompletionKeyword;
    case CompletionKind::reg:
      return kCompletionVariable;
    case CompletionKind::label:
      return kCompletionFunction;
    case CompletionKind::constant:
      return kCompletionConstant;
  }
  return kCompletionKeyword;
}

}  // namespace

Reply LanguageServer::State::hover(const About& r) const {
  const std::optional<std::string> text = hoverText(r.d.analysis, r.line, r.column, markdown);
  if (!text) return std::string("null");
  return dumped(json{{"contents", {{"kind", markdown ? "markdown" : "plaintext"}, {"value", *text}}}});
}

Reply LanguageServer::State::completion(const About& r) const {
  const LineIndex& index = *r.d.index;
  const std::string_view before =
      index.sourceLine(r.line - 1).substr(0, static_cast<std::size_t>(r.column - 1));
  json items = json::array();
  for (const Completion& c : completionsAfter(r.d.analysis, build, before)) {
    items.push_back(json{{"label", c.label}, {"kind", completionKind(c.kind)}, {"detail", c.detail}});
  }
  return dumped(items);
}

Reply LanguageServer::State::rename(const About& r) const {
  const std::optional<NameAt> at = nameAt(r.d.analysis, r.line, r.column);
  if (!at) return Failure{kRequestFailed, "no name stands there"};
  const std::string* newName = stringIn(r.params, "newName");
  if (!newName) return Failure{kInvalidParams, "newName is no text"};
  if (const std::optional<std::string> why = renameRefusal(*newName, build)) {
    return Failure{kRequestFailed, *why};
  }
  json edits = json::array();
  for (const Span& s : renamePlaces(r.d.analysis, at->name)) {
    edits.push_back(json{{"range", range(*r.d.index, s)}, {"newText", *newName}});
  }
  return dumped(json{{"changes", {{r.uri, std::move(edits)}}}});
}

Reply LanguageServer::State::prepareRename(const About& r) const {
  const std::optional<NameAt> at = nameAt(r.d.analysis, r.line, r.column);
  if (!at) return std::string("null");
  return dumped(json{{"range", range(*r.d.index, at->at)},
                     {"placeholder", r.d.analysis.names[at->name].name}});
}

Reply LanguageServer::State::definition(const About& r) const {
  const std::optional<NameAt> at = nameAt(r.d.analysis, r.line, r.column);
  if (!at) return std::string("null");
  json list = json::array();
  for (const Span& s : definitionsOf(r.d.analysis, at->name)) {
    list.push_back(location(r.uri, *r.d.index, s));
  }
  return dumped(list);
}

Reply LanguageServer::State::references(const About& r) const {
  json list = json::array();
  const std::optional<NameAt> at = nameAt(r.d.analysis, r.line, r.column);
  if (!at) return dumped(list);
  const json* context = member(r.params, "context");
  const json* declaration = context ? member(*context, "includeDeclaration") : nullptr;
  const bool withDefinitions = declaration && declaration->is_boolean() && declaration->get<bool>();
  for (const Span& s : referencesOf(r.d.analysis, at->name, withDefinitions)) {
    list.push_back(location(r.uri, *r.d.index, s));
  }
  return dumped(list);
}

Reply LanguageServer::State::highlights(const About& r) const {
  json list = json::array();
  const std::optional<NameAt> at = nameAt(r.d.analysis, r.line, r.column);
  if (!at) return dumped(list);
  for (const Highlight& h : highlightsOf(r.d.analysis, at->name)) {
    list.push_back(
        json{{"range", range(*r.d.index, h.at)}, {"kind", h.definition ? kHighlightWrite : kHighlightRead}});
  }
  return dumped(list);
}

// Written by hand: a large file has hundreds of thousands of numbers. With
// a range (semanticTokens/range), the tokens of its lines alone, which is
// what an editor showing a few of them asks for.
Reply LanguageServer::State::semanticTokens(const About& r) const {
  const auto lines = linesIn(r.params, true);
  if (const Failure* f = std::get_if<Failure>(&lines)) return *f;
  // Plain names: a lambda below captures the first.
  const std::uint32_t firstLine = std::get<Lines>(lines).first;
  const std::uint32_t lastLine = std::get<Lines>(lines).last;
  const LineIndex& index = *r.d.index;
  std::string text = R"({"data":[)";
  if (lastLine == UINT32_MAX) text.reserve(16 + r.d.analysis.tokens.size() * 16);
  Position last;
  bool first = true;
  const auto put = [&text](std::uint32_t n) {
    char digits[16];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, n);
    text.append(digits, end);
    text += ',';
  };
  // The tokens stand in source order, so their protocol lines rise: the
  // range's are found by halving.
  const auto& tokens = r.d.analysis.tokens;
  auto t = std::partition_point(tokens.begin(), tokens.end(), [&](const Token& token) {
    return ends(index, token.at).first.line < firstLine;
  });
  for (; t != tokens.end(); ++t) {
    const auto [start, end] = ends(index, t->at);
    if (start.line > lastLine) break;
    if (start.line < firstLine || end.line != start.line || end.character <= start.character) continue;
    put(start.line - last.line);
    put(start.line == last.line ? start.character - last.character : start.character);
    put(end.character - start.character);
    put(static_cast<std::uint32_t>(t->kind));
    text += "0,";
    last = start;
    first = false;
  }
  if (!first) text.pop_back();
  text += "]}";
  return text;
}

Reply LanguageServer::State::inlayHints(const About& r) const {
  const auto lines = linesIn(r.params);
  if (const Failure* f = std::get_if<Failure>(&lines)) return *f;
  const auto [first, last] = std::get<Lines>(lines);
  json hints = json::array();
  for (const LineLabel& l : lineLabels(r.d.analysis)) {
    // The range counts the protocol's lines, which a lone CR also ends.
    const Position at = r.d.index->endOf(l.line - 1);
    if (at.line < first || at.line > last) continue;
    hints.push_back(json{{"position", position(at)}, {"label", l.label}, {"paddingLeft", true}});
  }
  return dumped(hints);
}

Reply LanguageServer::State::signatureHelp(const About& r) const {
  const std::string_view before =
      r.d.index->sourceLine(r.line - 1).substr(0, static_cast<std::size_t>(r.column - 1));
  const std::optional<SignatureHelp> help = signatureAfter(build, before);
  if (!help) return std::string("null");
  json parameters = json::array();
  for (const OperandHelp& o : help->operands) {
    parameters.push_back(json{{"label", {o.from, o.to}}, {"documentation", o.about}});
  }
  // The operand being typed is told in the signature's documentation too:
  // some clients show no operand's own.
  const std::string& about = help->operands[help->active].about;
  return dumped(json{{"signatures", {{{"label", help->label}, {"documentation", about}, {"parameters", std::move(parameters)}}}},
                     {"activeSignature", 0},
                     {"activeParameter", help->active}});
}

// The layout's edits of the lines of the range asked about, or of all.
Reply LanguageServer::State::formatting(const About& r) const {
  const auto lines = linesIn(r.params, true);
  if (const Failure* f = std::get_if<Failure>(&lines)) return *f;
  const auto [first, last] = std::get<Lines>(lines);
  std::string text = "[";
  for (const Edit& e : formatEdits(r.d.text, build)) {
    const std::uint32_t line = ends(*r.d.index, e.at).first.line;
    if (line < first || line > last) continue;
    text += text.size() > 1 ? R"(,{"range":)" : R"({"range":)";
    appendRange(*r.d.index, e.at, text);
    text += R"(,"newText":)";
    appendJsonString(e.text, text);
    text += '}';
  }
  text += ']';
  return text;
}

// The quick fixes of the findings on the lines of the range asked about,
// each tied to its diagnostic as it was published.
Reply LanguageServer::State::codeActions(const About& r) const {
  const auto lines = linesIn(r.params);
  if (const Failure* f = std::get_if<Failure>(&lines)) return *f;
  const auto [first, last] = std::get<Lines>(lines);
  const LineIndex& index = *r.d.index;
  // Written by hand, as the diagnostics are: a text may have thousands.
  std::string text = "[";
  // A protocol line holds no more than its assembler line: a lone CR ends
  // the one and not the other.
  for (const FoundFix& found : fixesOf(r.d.analysis, r.d.text, build, 1, last + 1)) {
    const Diagnosis& d = r.d.analysis.findings[found.finding];
    const Span mark = r.d.analysis.markOf(d.at);
    const std::uint32_t line = ends(index, mark).first.line;
    if (line < first || line > last) continue;
    if (text.size() > 1) text += ',';
    text += R"({"title":)";
    appendJsonString(found.fix.note, text);
    text += R"(,"kind":"quickfix","isPreferred":true,"diagnostics":[)";
    appendDiagnostic(index, r.d.analysis, d, r.uri, text);
    text += R"(],"edit":{"changes":{)";
    appendJsonString(r.uri, text);
    text += ":[";
    for (std::size_t i = 0; i < found.fix.edits.size(); ++i) {
      text += i ? R"(,{"range":)" : R"({"range":)";
      appendRange(index, found.fix.edits[i].at, text);
      text += R"(,"newText":)";
      appendJsonString(found.fix.edits[i].text, text);
      text += '}';
    }
    text += "]}}}";
  }
  text += ']';
  return text;
}

Reply LanguageServer::State::symbols(const About& r) const {
  json list = json::array();
  for (const OutlineEntry& e : outline(r.d.analysis)) {
    const Name& n = r.d.analysis.names[e.name];
    const json where = range(*r.d.index, e.at);
    list.push_back(json{{"name", n.name},
                        {"detail", std::to_string(n.value)},
                        {"kind", n.label ? kSymbolFunction : kSymbolConstant},
                        {"range", where},
                        {"selectionRange", where}});
  }
  return dumped(list);
}

}  // namespace quellmark
