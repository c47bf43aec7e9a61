#include "language_server.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <nlohmann/json.hpp>

#include "analysis.h"
#include "encoder.h"
#include "image.h"
#include "json_text.h"
#include "line_index.h"
#include "listing.h"
#include "pass1.h"

namespace quellmark {

using nlohmann::json;

namespace {

// Error codes of JSON-RPC and the protocol.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

// How deep a message may nest its arrays and objects. The protocol's own
// messages nest a dozen levels; a deeper one is refused whole, before any
// of it is copied or written (which would recurse once per level).
constexpr int kDeepest = 256;

// The largest number a position or line may be (the protocol's uinteger).
constexpr std::uint64_t kLargestNumber = 2147483647;

// The token types of semantic highlighting, by TokenKind.
const char* const kTokenTypes[] = {"function", "keyword", "macro", "parameter",
                                   "number",   "variable", "comment"};

std::string dumped(const json& message) {
  return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

json failure(const json& id, int code, const std::string& message) {
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

json notification(const std::string& method, json params) {
  return json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

std::string hex4(std::uint32_t value) {
  const std::array<char, 4> digits = hexDigits(static_cast<std::uint16_t>(value));
  return std::string(digits.data(), digits.size());
}

// A response whose result is JSON text already.
std::string responseText(const json& id, std::string_view result) {
  std::string text = R"({"jsonrpc":"2.0","id":)";
  text += dumped(id);
  text += R"(,"result":)";
  text += result;
  text += '}';
  return text;
}

bool contains(const Span& span, std::uint32_t line, std::uint64_t column) {
  return span.line == line && column >= span.column && column <= span.column + span.length;
}

// The operands of a form as a user writes them ("ra, offset(rb)").
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

// A reason the client gave a wrong request, answered with InvalidParams.
struct BadParams {
  std::string why;
};

// A line or character of the client's: a whole number from 0 to the
// protocol's largest.
std::uint32_t numberIn(const json& value, const char* what) {
  if (!value.is_number_integer()) {
    throw BadParams{std::string(what) + " is no whole number"};
  }
  if (value.is_number_unsigned() ? value.get<std::uint64_t>() > kLargestNumber
                                 : value.get<std::int64_t>() < 0) {
    throw BadParams{std::string(what) + " is out of range"};
  }
  return value.get<std::uint32_t>();
}

Position positionIn(const json& value) {
  return Position{numberIn(value.at("line"), "a line"), numberIn(value.at("character"), "a character")};
}

struct Document {
  std::string text;
  std::int64_t version = 0;
  Analysis analysis;
  std::optional<LineIndex> index;  // of `text` as it is, for `encoding`
  bool stale = true;               // `analysis` is of an older text

  void changed(Encoding encoding) {
    index.emplace(text, encoding);
    stale = true;
  }
};

}  // namespace

struct LanguageServer::State {
  Build build;
  Encoding encoding = Encoding::utf16;
  bool markdown = true;  // hover texts in markdown, else plain text
  bool initialized = false;
  bool shutDown = false;
  std::optional<int> exit;
  std::map<std::string, Document> documents;

  explicit State(Build b) : build(b) {}

  void receive(const json& message, std::vector<std::string>& out);
  std::string answer(const std::string& method, const json& params);
  json answerAbout(const std::string& method, const std::string& uri, const Document& d,
                   const json& params) const;
  void notice(const std::string& method, const json& params, std::vector<std::string>& out);
  // Analyses each document changed since its last analysis and publishes
  // its diagnostics.
  void publish(std::vector<std::string>& out) {
    for (auto& [uri, d] : documents) {
      if (!d.stale) continue;
      quellmark::analyse(d.text, build, d.analysis);
      d.stale = false;
      out.push_back(diagnostics(uri, d));
    }
  }

  Document& document(const json& params) {
    const std::string uri = params.at("textDocument").at("uri").get<std::string>();
    const auto found = documents.find(uri);
    if (found == documents.end()) throw BadParams{"no open document " + uri};
    return found->second;
  }
  std::string diagnostics(const std::string& uri, const Document& d) const;
  // The protocol's start and end of a span of the assembler's bytes.
  static std::pair<Position, Position> ends(const LineIndex& index, const Span& span) {
    return index.rangeOf(span.line - 1, span.column - 1, span.length);
  }
  static json range(const LineIndex& index, const Span& span) {
    const auto [start, end] = ends(index, span);
    return json{{"start", position(start)}, {"end", position(end)}};
  }
  static json position(const Position& p) { return json{{"line", p.line}, {"character", p.character}}; }
  static json location(const std::string& uri, const LineIndex& index, const Span& span) {
    return json{{"uri", uri}, {"range", range(index, span)}};
  }

  // The place in the assembler's bytes (line and column from 1) of a
  // request's position.
  static std::pair<std::uint32_t, std::uint64_t> place(const LineIndex& index, const json& params) {
    const auto [line, column] = index.sourcePlace(index.offsetOf(positionIn(params.at("position"))));
    return {line + 1, column + 1};
  }
  // The name at a place, and the span of it there.
  static std::optional<std::pair<std::uint32_t, Span>> nameAt(const Analysis& a, std::uint32_t line,
                                                               std::uint64_t column) {
    const std::optional<std::uint32_t> name = a.nameAt(line, column);
    if (!name) return std::nullopt;
    for (const NamePlace& p : a.places) {
      if (p.name == *name && contains(p.at, line, column)) return std::make_pair(*name, p.at);
    }
    return std::nullopt;
  }

  json hover(const Document& d, const json& params) const;
  json completion(const Document& d, const json& params) const;
  json rename(const std::string& uri, const Document& d, const json& params) const;
  std::string semanticTokens(const Document& d) const;
  json inlayHints(const Document& d, const json& params) const;
  json symbols(const Document& d) const;
  void configure(const json& settings);
};

// The notification is written by hand: a large file's thousands of
// findings would otherwise spend more time in building JSON objects than
// in being found.
std::string LanguageServer::State::diagnostics(const std::string& uri, const Document& d) const {
  const LineIndex& index = *d.index;
  std::string text;
  text.reserve(128 + d.analysis.findings.size() * 200);
  const auto putRange = [&](const Span& span) {
    const auto [start, end] = ends(index, span);
    text += R"({"start":{"line":)";
    text += std::to_string(start.line);
    text += R"(,"character":)";
    text += std::to_string(start.character);
    text += R"(},"end":{"line":)";
    text += std::to_string(end.line);
    text += R"(,"character":)";
    text += std::to_string(end.character);
    text += "}}";
  };
  text += R"({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics","params":{"uri":)";
  appendJsonString(uri, text);
  text += R"(,"version":)";
  text += std::to_string(d.version);
  text += R"(,"diagnostics":[)";
  bool first = true;
  for (const Diagnosis& f : d.analysis.findings) {
    text += first ? R"({"range":)" : R"(,{"range":)";
    first = false;
    putRange(d.analysis.markOf(f.at));
    text += R"(,"severity":2,"code":)";
    appendJsonString(f.name, text);
    text += R"(,"source":"quellmark","message":)";
    appendJsonString(f.message, text);
    if (f.noteAt) {
      text += R"(,"relatedInformation":[{"location":{"uri":)";
      appendJsonString(uri, text);
      text += R"(,"range":)";
      putRange(*f.noteAt);
      text += R"(},"message":)";
      appendJsonString(f.note, text);
      text += "}]";
    }
    text += '}';
  }
  text += "]}}";
  return text;
}

json LanguageServer::State::hover(const Document& d, const json& params) const {
  const LineIndex& index = *d.index;
  const auto [line, column] = place(index, params);
  // Names stand in backticks in markdown, bare in plain text.
  const char* const quote = markdown ? "`" : "";
  std::string text;
  if (const auto at = nameAt(d.analysis, line, column)) {
    const Name& n = d.analysis.names[at->first];
    text = quote + n.name + quote + " = " + std::to_string(n.value) + " (0x" +
           hex4(static_cast<std::uint32_t>(n.value)) + ")";
    text += n.label ? ", a label" : ", a constant";
    const std::vector<Span> definitions = d.analysis.placesOf(at->first, true);
    for (std::size_t i = 0; i < definitions.size(); ++i) {
      text += i == 0 ? "\n\ndefined at line " : i + 1 == definitions.size() ? ", and last at line "
                                                                            : ", again at line ";
      text += std::to_string(definitions[i].line);
    }
  } else {
    const std::vector<Word>& words = d.analysis.words;
    const auto first = std::lower_bound(words.begin(), words.end(), line,
                                        [](const Word& w, std::uint32_t l) { return w.line < l; });
    for (auto w = first; w != words.end() && w->line == line; ++w) {
      if (!text.empty()) text += "\n\n";
      text += hexText(w->address) + ": " + hex4(w->word);
      const std::string fields = describeWord(w->mnemonic, w->word, w->address);
      if (!fields.empty()) text += " \u2014 " + fields;
    }
    if (text.empty()) return nullptr;
  }
  return json{{"contents", {{"kind", markdown ? "markdown" : "plaintext"}, {"value", text}}}};
}

json LanguageServer::State::completion(const Document& d, const json& params) const {
  const LineIndex& index = *d.index;
  const auto [line, column] = place(index, params);
  const std::string_view before =
      index.sourceLine(line - 1).substr(0, static_cast<std::size_t>(column - 1));
  json items = json::array();
  if (before.find(';') != std::string_view::npos) return items;
  // The words before the one being typed.
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
  const auto add = [&items](const std::string& label, int kind, const std::string& detail) {
    items.push_back(json{{"label", label}, {"kind", kind}, {"detail", detail}});
  };
  // A statement begins at the first word, or behind a label.
  const bool directive =
      !words.empty() && (words[0] == "define" ||
                         (build == Build::full && (words[0] == "dw" || words[0] == "db")));
  if (directive) return items;
  const std::size_t at = !words.empty() && !isMnemonic(words[0]) ? 1 : 0;
  if (words.size() == at) {
    for (const InstructionForm& f : instructionForms()) {
      if (f.form != Form::data) add(std::string(f.mnemonic()), 14, operandsOf(f));
    }
    if (at == 0) {
      add("define", 14, "define NAME value");
      if (build == Build::full) {
        add("dw", 14, "dw value, ...");
        add("db", 14, "db byte, ...");
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
    for (int r = 0; r < 8; ++r) add("r" + std::to_string(r), 6, "register");
    return items;
  }
  for (const Name& n : d.analysis.names) add(n.name, n.label ? 3 : 21, std::to_string(n.value));
  return items;
}

json LanguageServer::State::rename(const std::string& uri, const Document& d,
                                   const json& params) const {
  const LineIndex& index = *d.index;
  const auto [line, column] = place(index, params);
  const auto at = nameAt(d.analysis, line, column);
  if (!at) throw BadParams{"no name stands there"};
  const std::string newName = params.at("newName").get<std::string>();
  if (!isNameToken(newName, build)) {
    throw BadParams{"`" + newName +
                    "` is no name the assembler reads as one: a mnemonic, a register, a "
                    "number or a text with separators"};
  }
  json edits = json::array();
  for (const bool definitions : {true, false}) {
    for (const Span& s : d.analysis.placesOf(at->first, definitions)) {
      edits.push_back(json{{"range", range(index, s)}, {"newText", newName}});
    }
  }
  return json{{"changes", {{uri, std::move(edits)}}}};
}

// Written by hand: a large file has hundreds of thousands of numbers.
std::string LanguageServer::State::semanticTokens(const Document& d) const {
  const LineIndex& index = *d.index;
  std::string text = R"({"data":[)";
  text.reserve(16 + d.analysis.tokens.size() * 16);
  Position last;
  bool first = true;
  const auto put = [&text](std::uint32_t n) {
    char digits[16];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, n);
    text.append(digits, end);
    text += ',';
  };
  for (const Token& t : d.analysis.tokens) {
    const auto [start, end] = ends(index, t.at);
    if (end.line != start.line || end.character <= start.character) continue;
    put(start.line - last.line);
    put(start.line == last.line ? start.character - last.character : start.character);
    put(end.character - start.character);
    put(static_cast<std::uint32_t>(t.kind));
    text += "0,";
    last = start;
    first = false;
  }
  if (!first) text.pop_back();
  text += "]}";
  return text;
}

json LanguageServer::State::inlayHints(const Document& d, const json& params) const {
  const LineIndex& index = *d.index;
  const std::uint32_t first = positionIn(params.at("range").at("start")).line;
  const std::uint32_t last = positionIn(params.at("range").at("end")).line;
  json hints = json::array();
  const std::vector<Word>& words = d.analysis.words;
  for (auto w = words.begin(); w != words.end();) {
    const std::uint32_t line = w->line;
    std::string label;
    for (; w != words.end() && w->line == line; ++w) {
      label += label.empty() ? "" : "  ";
      label += hexText(w->address) + ": " + hex4(w->word);
    }
    // The range counts the protocol's lines, which a lone CR also ends.
    const Position end = index.endOf(line - 1);
    if (end.line < first || end.line > last) continue;
    hints.push_back(json{{"position", position(end)},
                         {"label", label},
                         {"paddingLeft", true}});
  }
  return hints;
}

json LanguageServer::State::symbols(const Document& d) const {
  const LineIndex& index = *d.index;
  json list = json::array();
  // Each name where it is defined last, which gives its value.
  std::vector<const NamePlace*> last(d.analysis.names.size());
  for (const NamePlace& p : d.analysis.places) {
    if (p.definition) last[p.name] = &p;
  }
  for (std::size_t i = 0; i < last.size(); ++i) {
    if (!last[i]) continue;
    const Name& n = d.analysis.names[i];
    const json where = range(index, last[i]->at);
    list.push_back(json{{"name", n.name},
                        {"detail", std::to_string(n.value)},
                        {"kind", n.label ? 12 : 14},
                        {"range", where},
                        {"selectionRange", where}});
  }
  return list;
}

void LanguageServer::State::configure(const json& settings) {
  if (!settings.is_object()) return;
  const json* chosen = nullptr;
  if (settings.contains("build")) chosen = &settings["build"];
  if (settings.contains("quellmark") && settings["quellmark"].is_object() &&
      settings["quellmark"].contains("build")) {
    chosen = &settings["quellmark"]["build"];
  }
  if (!chosen || !chosen->is_string()) return;
  if (*chosen == "reduced") build = Build::reduced;
  if (*chosen == "full") build = Build::full;
}

// What the server can do, written once for each position encoding.
const std::string& capabilities(Encoding encoding) {
  static const std::array<std::string, 2> kWritten = [] {
    std::array<std::string, 2> written;
    for (const Encoding e : {Encoding::utf8, Encoding::utf16}) {
      const json legend{{"tokenTypes", kTokenTypes}, {"tokenModifiers", json::array()}};
      written[static_cast<std::size_t>(e)] = dumped(json{
          {"capabilities",
           {{"positionEncoding", e == Encoding::utf8 ? "utf-8" : "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
            {"hoverProvider", true},
            {"definitionProvider", true},
            {"referencesProvider", true},
            {"documentHighlightProvider", true},
            {"documentSymbolProvider", true},
            {"completionProvider", {{"triggerCharacters", {" ", ","}}}},
            {"renameProvider", {{"prepareProvider", true}}},
            {"inlayHintProvider", true},
            {"semanticTokensProvider", {{"legend", legend}, {"full", true}}}}},
          {"serverInfo", {{"name", "quellmark"}, {"version", QUELLMARK_SERVER_VERSION}}}});
    }
    return written;
  }();
  return kWritten[static_cast<std::size_t>(encoding)];
}

// The requests the server answers.
bool answers(const std::string& method) {
  static const char* const kMethods[] = {
      "initialize",
      "shutdown",
      "textDocument/hover",
      "textDocument/completion",
      "textDocument/rename",
      "textDocument/prepareRename",
      "textDocument/semanticTokens/full",
      "textDocument/inlayHint",
      "textDocument/documentSymbol",
      "textDocument/definition",
      "textDocument/references",
      "textDocument/documentHighlight",
  };
  return std::find(std::begin(kMethods), std::end(kMethods), method) != std::end(kMethods);
}

std::string LanguageServer::State::answer(const std::string& method, const json& params) {
  if (method == "initialize") {
    initialized = true;
    const json offered = params.contains("capabilities")
                             ? params["capabilities"].value("/general/positionEncodings"_json_pointer,
                                                            json::array())
                             : json::array();
    encoding = Encoding::utf16;
    if (offered.is_array()) {
      for (const json& e : offered) {
        if (e == "utf-8") encoding = Encoding::utf8;
      }
    }
    // Markdown unless the client names the formats it shows and markdown
    // is not among them.
    const json formats =
        params.contains("capabilities")
            ? params["capabilities"].value("/textDocument/hover/contentFormat"_json_pointer, json())
            : json();
    markdown = !formats.is_array() || formats.empty() ||
               std::find(formats.begin(), formats.end(), "markdown") != formats.end();
    if (params.contains("initializationOptions")) configure(params["initializationOptions"]);
    json legend{{"tokenTypes", kTokenTypes}, {"tokenModifiers", json::array()}};
    return dumped(json{
        {"capabilities",
         {{"positionEncoding", encoding == Encoding::utf8 ? "utf-8" : "utf-16"},
          {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
          {"hoverProvider", true},
          {"definitionProvider", true},
          {"referencesProvider", true},
          {"documentHighlightProvider", true},
          {"documentSymbolProvider", true},
          {"completionProvider", {{"triggerCharacters", {" ", ","}}}},
          {"renameProvider", {{"prepareProvider", true}}},
          {"inlayHintProvider", true},
          {"semanticTokensProvider", {{"legend", legend}, {"full", true}}}}},
        {"serverInfo", {{"name", "quellmark"}, {"version", QUELLMARK_SERVER_VERSION}}}});
  }
  if (method == "shutdown") {
    shutDown = true;
    return "null";
  }
  Document& d = document(params);
  const std::string uri = params["textDocument"]["uri"].get<std::string>();
  if (method == "textDocument/semanticTokens/full") return semanticTokens(d);
  return dumped(answerAbout(method, uri, d, params));
}

json LanguageServer::State::answerAbout(const std::string& method, const std::string& uri,
                                        const Document& d, const json& params) const {
  if (method == "textDocument/hover") return hover(d, params);
  if (method == "textDocument/completion") return completion(d, params);
  if (method == "textDocument/rename") return rename(uri, d, params);
  if (method == "textDocument/inlayHint") return inlayHints(d, params);
  if (method == "textDocument/documentSymbol") return symbols(d);
  const LineIndex& index = *d.index;
  const auto [line, column] = place(index, params);
  const auto at = nameAt(d.analysis, line, column);
  if (method == "textDocument/prepareRename") {
    if (!at) return nullptr;
    return json{{"range", range(index, at->second)},
                {"placeholder", d.analysis.names[at->first].name}};
  }
  json list = json::array();
  if (!at) return method == "textDocument/definition" ? json(nullptr) : list;
  const std::vector<Span> definitions = d.analysis.placesOf(at->first, true);
  const std::vector<Span> uses = d.analysis.placesOf(at->first, false);
  if (method == "textDocument/definition") {
    // The definition whose value is used first, then the earlier ones.
    for (auto s = definitions.rbegin(); s != definitions.rend(); ++s) {
      list.push_back(location(uri, index, *s));
    }
    return list;
  }
  if (method == "textDocument/references") {
    if (params.value("/context/includeDeclaration"_json_pointer, false)) {
      for (const Span& s : definitions) list.push_back(location(uri, index, s));
    }
    for (const Span& s : uses) list.push_back(location(uri, index, s));
    return list;
  }
  if (method == "textDocument/documentHighlight") {
    for (const Span& s : definitions) list.push_back(json{{"range", range(index, s)}, {"kind", 3}});
    for (const Span& s : uses) list.push_back(json{{"range", range(index, s)}, {"kind", 2}});
    return list;
  }
  return nullptr;
}

void LanguageServer::State::notice(const std::string& method, const json& params,
                                   std::vector<std::string>& out) {
  if (method == "exit") {
    exit = shutDown ? 0 : 1;
    return;
  }
  if (!initialized) return;
  if (method == "textDocument/didOpen") {
    const json& item = params.at("textDocument");
    const std::string uri = item.at("uri").get<std::string>();
    std::string text = item.at("text").get<std::string>();
    const std::int64_t version = item.value("version", std::int64_t{0});
    Document& d = documents[uri];
    d.text = std::move(text);
    d.version = version;
    d.changed(encoding);
  } else if (method == "textDocument/didChange") {
    Document& d = document(params);
    const json& changes = params.at("contentChanges");
    const std::int64_t version = params["textDocument"].value("version", d.version);
    // Every change is read before the text is touched, so that a wrong
    // one leaves the text as it was.
    struct Change {
      std::optional<std::pair<Position, Position>> range;
      std::string text;
    };
    std::vector<Change> read;
    for (const json& change : changes) {
      Change& c = read.emplace_back();
      c.text = change.at("text").get<std::string>();
      if (change.contains("range")) {
        const json& r = change["range"];
        c.range.emplace(positionIn(r.at("start")), positionIn(r.at("end")));
      }
    }
    // Each change is placed by the index of the text the one before it
    // left.
    for (Change& c : read) {
      if (c.range) {
        applyEdit(d.text, *d.index, c.range->first, c.range->second, c.text);
      } else {
        d.text = std::move(c.text);
      }
      d.changed(encoding);
    }
    d.version = version;
    d.stale = true;  // published for its version even when nothing changed
  } else if (method == "textDocument/didClose") {
    const std::string uri = params.at("textDocument").at("uri").get<std::string>();
    documents.erase(uri);
    out.push_back(dumped(notification("textDocument/publishDiagnostics",
                                      json{{"uri", uri}, {"diagnostics", json::array()}})));
  } else if (method == "workspace/didChangeConfiguration") {
    const Build before = build;
    configure(params.value("settings", json::object()));
    if (build == before) return;
    for (auto& [uri, d] : documents) d.stale = true;
  }
}

void LanguageServer::State::receive(const json& message, std::vector<std::string>& out) {
  if (!message.is_object() || !message.contains("method") || !message["method"].is_string()) {
    // A response to a request of ours (we send none) is no error.
    if (message.is_object() && message.contains("id") && !message.contains("method")) return;
    out.push_back(dumped(failure(nullptr, kInvalidRequest, "not a request or notification")));
    return;
  }
  const std::string method = message["method"].get<std::string>();
  const json params = message.value("params", json::object());
  if (!message.contains("id")) {
    try {
      notice(method, params, out);
    } catch (const json::exception&) {
    } catch (const BadParams&) {
    }
    return;
  }
  const json& id = message["id"];
  if (!initialized && method != "initialize") {
    out.push_back(dumped(failure(id, kServerNotInitialized, "initialize comes first")));
    return;
  }
  if (shutDown) {
    out.push_back(dumped(failure(id, kInvalidRequest, "the server is shutting down")));
    return;
  }
  if (!answers(method)) {
    out.push_back(dumped(failure(id, kMethodNotFound, "no method " + method)));
    return;
  }
  // A request is answered from the text as it is now.
  publish(out);
  try {
    out.push_back(responseText(id, answer(method, params)));
  } catch (const BadParams& bad) {
    out.push_back(dumped(failure(id, method == "textDocument/rename" ? kRequestFailed
                                                                     : kInvalidParams,
                                 bad.why)));
  } catch (const json::exception& e) {
    out.push_back(dumped(failure(id, kInvalidParams, e.what())));
  }
}

LanguageServer::LanguageServer(Build build) : state_(std::make_unique<State>(build)) {}
LanguageServer::~LanguageServer() = default;

void LanguageServer::receive(std::string_view body, std::vector<std::string>& out, bool more) {
  // Values nested too deep are left out as they are read (the reader
  // itself does not recurse), and the message is refused.
  // A body too short to nest that deep is read without the watch, which
  // is faster.
  bool tooDeep = false;
  const json message =
      body.size() < kDeepest
          ? json::parse(body, nullptr, false)
          : json::parse(
                body,
                [&tooDeep](int depth, json::parse_event_t event, json&) {
                  if (depth < kDeepest || (event != json::parse_event_t::object_start &&
                                            event != json::parse_event_t::array_start)) {
                    return true;
                  }
                  tooDeep = true;
                  return false;
                },
                false);
  if (message.is_discarded()) {
    out.push_back(dumped(failure(nullptr, kParseError, "the message is no JSON")));
  } else if (tooDeep) {
    // The id, when it is one a request can have and was kept.
    const bool hasId = message.is_object() && message.contains("id") &&
                       (message["id"].is_number_integer() || message["id"].is_string());
    out.push_back(dumped(failure(hasId ? message["id"] : json(nullptr), kInvalidRequest,
                                 "the message nests deeper than " + std::to_string(kDeepest) +
                                     " levels")));
  } else {
    state_->receive(message, out);
  }
  if (!more) state_->publish(out);
}

void LanguageServer::publish(std::vector<std::string>& out) {
  state_->publish(out);
}

std::string LanguageServer::badHeader() {
  return dumped(failure(nullptr, kParseError, "the header has no valid Content-Length"));
}

std::optional<int> LanguageServer::exitStatus() const {
  return state_->exit;
}

bool LanguageServer::shutDown() const {
  return state_->shutDown;
}

bool MessageReader::fill() {
  if (ended_) return false;
  if (at_ > 0) {
    buffer_.erase(0, at_);
    at_ = 0;
  }
  char chunk[65536];
  const std::ptrdiff_t n = in_.read(chunk);
  if (n <= 0) {
    ended_ = true;
    return false;
  }
  buffer_.append(chunk, static_cast<std::size_t>(n));
  return true;
}

bool MessageReader::waiting() const {
  return buffer_.size() > at_ || (!ended_ && in_.ready());
}

std::optional<MessageReader::Message> MessageReader::next() {
  // The header: lines up to an empty one.
  std::size_t end = std::string::npos;
  while ((end = buffer_.find("\r\n\r\n", at_)) == std::string::npos) {
    // A header of more than 64 KiB is none: it is dropped and read anew.
    if (buffer_.size() - at_ > 65536) {
      at_ = buffer_.size() - 3;
      return Message{{}, true};
    }
    if (!fill()) return std::nullopt;
  }
  const std::string_view header(buffer_.data() + at_, end - at_);
  at_ = end + 4;
  std::optional<std::size_t> length;
  for (std::size_t line = 0; line < header.size();) {
    std::size_t stop = header.find("\r\n", line);
    if (stop == std::string_view::npos) stop = header.size();
    const std::string_view field = header.substr(line, stop - line);
    constexpr std::string_view kLength = "content-length:";
    if (field.size() > kLength.size()) {
      std::string name(field.substr(0, kLength.size()));
      for (char& c : name) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      if (name == kLength) {
        std::string_view value = field.substr(kLength.size());
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        std::size_t n = 0;
        const auto [ptr, error] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (error == std::errc() && ptr == value.data() + value.size() && n <= (std::size_t{1} << 30)) {
          length = n;
        }
      }
    }
    line = stop + 2;
  }
  if (!length) return Message{{}, true};
  while (buffer_.size() - at_ < *length) {
    if (!fill()) return std::nullopt;
  }
  Message message{buffer_.substr(at_, *length), false};
  at_ += *length;
  return message;
}

std::string framed(std::string_view body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

int serveLanguage(ByteSource& in, ByteSink& out, Build build) {
  LanguageServer server(build);
  MessageReader reader(in);
  std::vector<std::string> replies;
  const auto send = [&out, &replies] {
    for (const std::string& reply : replies) {
      if (!out.write(framed(reply))) return false;
    }
    return replies.empty() || out.flush();
  };
  while (const std::optional<MessageReader::Message> message = reader.next()) {
    replies.clear();
    // Changes that come in a burst are applied together and analysed once,
    // when no more are waiting.
    if (message->badHeader) {
      replies.push_back(LanguageServer::badHeader());
      if (!reader.waiting()) server.publish(replies);
    } else {
      server.receive(message->body, replies, reader.waiting());
    }
    if (!send()) return 1;
    if (server.exitStatus()) return *server.exitStatus();
  }
  replies.clear();
  server.publish(replies);
  if (!send()) return 1;
  // The end of the input ends the server as `exit` would.
  return server.shutDown() ? 0 : 1;
}

}  // namespace quellmark
