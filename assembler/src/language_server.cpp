#include "language_server.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <tuple>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <variant>

#include "analysis.h"
#include "editor_features.h"
#include "image.h"
#include "json_text.h"
#include "line_index.h"

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

// The protocol's numbers for kinds of things.
constexpr int kSeverityWarning = 2;
constexpr int kSyncIncremental = 2;
constexpr int kCompletionFunction = 3;
constexpr int kCompletionVariable = 6;
constexpr int kCompletionKeyword = 14;
constexpr int kCompletionConstant = 21;
constexpr int kSymbolFunction = 12;
constexpr int kSymbolConstant = 14;
constexpr int kHighlightRead = 2;
constexpr int kHighlightWrite = 3;

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

// A response whose result is JSON text already.
std::string responseText(const json& id, std::string_view result) {
  std::string text = R"({"jsonrpc":"2.0","id":)";
  text += dumped(id);
  text += R"(,"result":)";
  text += result;
  text += '}';
  return text;
}

// A request the server cannot answer as asked.
struct Failure {
  int code = kInvalidParams;
  std::string why;
};
// What a request gets: its result as JSON text, or a failure.
using Reply = std::variant<std::string, Failure>;

// The fields of a message are read with these, which never throw: a field
// that is missing or of another type is nothing.
const json* member(const json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(name);
  return found == object.end() ? nullptr : &*found;
}

const std::string* stringIn(const json& object, const char* name) {
  const json* value = member(object, name);
  return value && value->is_string() ? value->get_ptr<const std::string*>() : nullptr;
}

// A line or character of the client's: a whole number from 0 to the
// protocol's largest; else why not.
std::variant<std::uint32_t, Failure> numberIn(const json* value, const char* what) {
  if (!value || !value->is_number_integer()) return Failure{kInvalidParams, std::string(what) + " is no whole number"};
  if (value->is_number_unsigned() ? value->get<std::uint64_t>() > kLargestNumber
                                  : value->get<std::int64_t>() < 0) {
    return Failure{kInvalidParams, std::string(what) + " is out of range"};
  }
  return static_cast<std::uint32_t>(value->get<std::uint64_t>());
}

std::variant<Position, Failure> positionIn(const json* value) {
  if (!value || !value->is_object()) return Failure{kInvalidParams, "a position is no object"};
  const auto line = numberIn(member(*value, "line"), "a line");
  if (const Failure* f = std::get_if<Failure>(&line)) return *f;
  const auto character = numberIn(member(*value, "character"), "a character");
  if (const Failure* f = std::get_if<Failure>(&character)) return *f;
  return Position{std::get<std::uint32_t>(line), std::get<std::uint32_t>(character)};
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

// The protocol's range of a span of the assembler's bytes: the one
// conversion from the analysis's places to the client's.
std::pair<Position, Position> ends(const LineIndex& index, const Span& span) {
  return index.rangeOf(span.line - 1, span.column - 1, span.length);
}

json position(const Position& p) {
  return json{{"line", p.line}, {"character", p.character}};
}

json range(const LineIndex& index, const Span& span) {
  const auto [start, end] = ends(index, span);
  return json{{"start", position(start)}, {"end", position(end)}};
}

json location(const std::string& uri, const LineIndex& index, const Span& span) {
  return json{{"uri", uri}, {"range", range(index, span)}};
}

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

// What the server can do, written once for each position encoding.
const std::string& capabilities(Encoding encoding) {
  static const std::array<std::string, 2> kWritten = [] {
    std::array<std::string, 2> written;
    for (const Encoding e : {Encoding::utf8, Encoding::utf16}) {
      const json legend{{"tokenTypes", kTokenTypes}, {"tokenModifiers", json::array()}};
      written[static_cast<std::size_t>(e)] = dumped(json{
          {"capabilities",
           {{"positionEncoding", e == Encoding::utf8 ? "utf-8" : "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", kSyncIncremental}}},
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

  // A request about an open document, with the place in the assembler's
  // bytes (line and column from 1) of its position, when it has one.
  struct About {
    const json& params;
    const std::string& uri;
    const Document& d;
    std::uint32_t line = 0;
    std::uint64_t column = 0;
  };
  using Handler = Reply (State::*)(const About&) const;
  struct Method {
    Handler handler;
    bool placed;  // its params hold a position
  };
  static const std::unordered_map<std::string_view, Method>& methods();

  void receive(const json& message, std::vector<std::string>& out);
  Reply answer(const std::string& method, const json& params);
  // Handles a notification; false when its params are wrong.
  bool notice(const std::string& method, const json& params, std::vector<std::string>& out);
  bool change(Document& d, const json& params);
  void configure(const json& settings);
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
  std::string diagnostics(const std::string& uri, const Document& d) const;

  Reply initialize(const json& params);
  Reply hover(const About& r) const;
  Reply completion(const About& r) const;
  Reply rename(const About& r) const;
  Reply prepareRename(const About& r) const;
  Reply definition(const About& r) const;
  Reply references(const About& r) const;
  Reply highlights(const About& r) const;
  Reply semanticTokens(const About& r) const;
  Reply inlayHints(const About& r) const;
  Reply symbols(const About& r) const;
};

const std::unordered_map<std::string_view, LanguageServer::State::Method>&
LanguageServer::State::methods() {
  static const std::unordered_map<std::string_view, Method> kMethods = {
      {"textDocument/hover", {&State::hover, true}},
      {"textDocument/completion", {&State::completion, true}},
      {"textDocument/rename", {&State::rename, true}},
      {"textDocument/prepareRename", {&State::prepareRename, true}},
      {"textDocument/definition", {&State::definition, true}},
      {"textDocument/references", {&State::references, true}},
      {"textDocument/documentHighlight", {&State::highlights, true}},
      {"textDocument/semanticTokens/full", {&State::semanticTokens, false}},
      {"textDocument/inlayHint", {&State::inlayHints, false}},
      {"textDocument/documentSymbol", {&State::symbols, false}},
  };
  return kMethods;
}

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
    text += R"(,"severity":)";
    text += std::to_string(kSeverityWarning);
    text += R"(,"code":)";
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

// Written by hand: a large file has hundreds of thousands of numbers.
Reply LanguageServer::State::semanticTokens(const About& r) const {
  const LineIndex& index = *r.d.index;
  std::string text = R"({"data":[)";
  text.reserve(16 + r.d.analysis.tokens.size() * 16);
  Position last;
  bool first = true;
  const auto put = [&text](std::uint32_t n) {
    char digits[16];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, n);
    text.append(digits, end);
    text += ',';
  };
  for (const Token& t : r.d.analysis.tokens) {
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

Reply LanguageServer::State::inlayHints(const About& r) const {
  const json* asked = member(r.params, "range");
  const auto start = positionIn(asked ? member(*asked, "start") : nullptr);
  if (const Failure* f = std::get_if<Failure>(&start)) return *f;
  const auto end = positionIn(asked ? member(*asked, "end") : nullptr);
  if (const Failure* f = std::get_if<Failure>(&end)) return *f;
  const std::uint32_t first = std::get<Position>(start).line;
  const std::uint32_t last = std::get<Position>(end).line;
  json hints = json::array();
  for (const LineLabel& l : lineLabels(r.d.analysis)) {
    // The range counts the protocol's lines, which a lone CR also ends.
    const Position at = r.d.index->endOf(l.line - 1);
    if (at.line < first || at.line > last) continue;
    hints.push_back(json{{"position", position(at)}, {"label", l.label}, {"paddingLeft", true}});
  }
  return dumped(hints);
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

void LanguageServer::State::configure(const json& settings) {
  const json* chosen = member(settings, "build");
  if (const json* ours = member(settings, "quellmark"); ours && member(*ours, "build")) {
    chosen = member(*ours, "build");
  }
  if (!chosen || !chosen->is_string()) return;
  if (*chosen == "reduced") build = Build::reduced;
  if (*chosen == "full") build = Build::full;
}

Reply LanguageServer::State::initialize(const json& params) {
  initialized = true;
  const json* client = member(params, "capabilities");
  const json* general = client ? member(*client, "general") : nullptr;
  const json* offered = general ? member(*general, "positionEncodings") : nullptr;
  encoding = Encoding::utf16;
  if (offered && offered->is_array()) {
    for (const json& e : *offered) {
      if (e == "utf-8") encoding = Encoding::utf8;
    }
  }
  // Markdown unless the client names the formats it shows and markdown
  // is not among them.
  const json* document = client ? member(*client, "textDocument") : nullptr;
  const json* hover = document ? member(*document, "hover") : nullptr;
  const json* formats = hover ? member(*hover, "contentFormat") : nullptr;
  markdown = !formats || !formats->is_array() || formats->empty() ||
             std::find(formats->begin(), formats->end(), "markdown") != formats->end();
  if (const json* options = member(params, "initializationOptions")) configure(*options);
  return quellmark::capabilities(encoding);
}

Reply LanguageServer::State::answer(const std::string& method, const json& params) {
  if (method == "initialize") return initialize(params);
  if (method == "shutdown") {
    shutDown = true;
    return std::string("null");
  }
  const auto found = methods().find(method);
  if (found == methods().end()) return Failure{kMethodNotFound, "no method " + method};
  const json* item = member(params, "textDocument");
  const std::string* uri = item ? stringIn(*item, "uri") : nullptr;
  if (!uri) return Failure{kInvalidParams, "textDocument has no uri"};
  const auto open = documents.find(*uri);
  if (open == documents.end()) return Failure{kInvalidParams, "no open document " + *uri};
  const Document& d = open->second;
  About about{params, *uri, d};
  if (found->second.placed) {
    const auto at = positionIn(member(params, "position"));
    if (const Failure* f = std::get_if<Failure>(&at)) return *f;
    std::tie(about.line, about.column) = d.index->sourcePlace(d.index->offsetOf(std::get<Position>(at)));
    ++about.line;
    ++about.column;
  }
  return (this->*found->second.handler)(about);
}

bool LanguageServer::State::change(Document& d, const json& params) {
  const json* changes = member(params, "contentChanges");
  if (!changes || !changes->is_array()) return false;
  // Every change is read before the text is touched, so that a wrong one
  // leaves the text as it was.
  struct Change {
    std::optional<std::pair<Position, Position>> range;
    const std::string* text = nullptr;
  };
  std::vector<Change> read;
  for (const json& change : *changes) {
    Change& c = read.emplace_back();
    c.text = stringIn(change, "text");
    if (!c.text) return false;
    if (const json* r = member(change, "range")) {
      const auto start = positionIn(member(*r, "start"));
      const auto end = positionIn(member(*r, "end"));
      if (std::holds_alternative<Failure>(start) || std::holds_alternative<Failure>(end)) return false;
      c.range.emplace(std::get<Position>(start), std::get<Position>(end));
    }
  }
  // Each change is placed by the index of the text the one before it left.
  for (const Change& c : read) {
    if (c.range) {
      applyEdit(d.text, *d.index, c.range->first, c.range->second, *c.text);
    } else {
      d.text = *c.text;
    }
    d.changed(encoding);
  }
  return true;
}

bool LanguageServer::State::notice(const std::string& method, const json& params,
                                   std::vector<std::string>& out) {
  if (method == "exit") {
    exit = shutDown ? 0 : 1;
    return true;
  }
  if (!initialized) return true;
  const json* item = member(params, "textDocument");
  const std::string* uri = item ? stringIn(*item, "uri") : nullptr;
  const json* version = item ? member(*item, "version") : nullptr;
  const bool hasVersion = version && version->is_number_integer();
  if (method == "textDocument/didOpen") {
    const std::string* text = item ? stringIn(*item, "text") : nullptr;
    if (!uri || !text) return false;
    Document& d = documents[*uri];
    d.text = *text;
    d.version = hasVersion ? version->get<std::int64_t>() : 0;
    d.changed(encoding);
  } else if (method == "textDocument/didChange") {
    if (!uri) return false;
    const auto open = documents.find(*uri);
    if (open == documents.end()) return false;
    Document& d = open->second;
    if (!change(d, params)) return false;
    if (hasVersion) d.version = version->get<std::int64_t>();
    d.stale = true;  // published for its version even when nothing changed
  } else if (method == "textDocument/didClose") {
    if (!uri) return false;
    documents.erase(*uri);
    out.push_back(dumped(notification("textDocument/publishDiagnostics",
                                      json{{"uri", *uri}, {"diagnostics", json::array()}})));
  } else if (method == "workspace/didChangeConfiguration") {
    const Build before = build;
    if (const json* settings = member(params, "settings")) configure(*settings);
    if (build == before) return true;
    for (auto& [uri, d] : documents) d.stale = true;
  }
  return true;
}

void LanguageServer::State::receive(const json& message, std::vector<std::string>& out) {
  const std::string* method = stringIn(message, "method");
  if (!method) {
    // A response to a request of ours (we send none) is no error.
    if (message.is_object() && message.contains("id")) return;
    out.push_back(dumped(failure(nullptr, kInvalidRequest, "not a request or notification")));
    return;
  }
  static const json kNoParams = json::object();
  const json* given = member(message, "params");
  const json& params = given ? *given : kNoParams;
  const json* id = member(message, "id");
  if (!id) {
    // A notification gets no answer, also when it is wrong.
    (void)notice(*method, params, out);
    return;
  }
  if (!initialized && *method != "initialize") {
    out.push_back(dumped(failure(*id, kServerNotInitialized, "initialize comes first")));
    return;
  }
  if (shutDown) {
    out.push_back(dumped(failure(*id, kInvalidRequest, "the server is shutting down")));
    return;
  }
  if (*method != "initialize" && *method != "shutdown" && !methods().contains(*method)) {
    out.push_back(dumped(failure(*id, kMethodNotFound, "no method " + *method)));
    return;
  }
  // A request is answered from the text as it is now.
  publish(out);
  const Reply reply = answer(*method, params);
  if (const Failure* f = std::get_if<Failure>(&reply)) {
    out.push_back(dumped(failure(*id, f->code, f->why)));
  } else {
    out.push_back(responseText(*id, std::get<std::string>(reply)));
  }
}

LanguageServer::LanguageServer(Build build) : state_(std::make_unique<State>(build)) {}
LanguageServer::~LanguageServer() = default;

void LanguageServer::receive(std::string_view body, std::vector<std::string>& out, bool more) {
  // Values nested too deep are left out as they are read (the reader
  // itself does not recurse), and the message is refused. A body too short
  // to nest that deep is read without the watch, which is faster.
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
    const json* id = member(message, "id");
    const bool hasId = id && (id->is_number_integer() || id->is_string());
    out.push_back(dumped(failure(hasId ? *id : json(nullptr), kInvalidRequest,
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

const Analysis* LanguageServer::analysisOf(std::string_view uri, std::vector<std::string>& out) {
  state_->publish(out);
  const auto open = state_->documents.find(std::string(uri));
  return open == state_->documents.end() ? nullptr : &open->second.analysis;
}

const std::string* LanguageServer::textOf(std::string_view uri) const {
  const auto open = state_->documents.find(std::string(uri));
  return open == state_->documents.end() ? nullptr : &open->second.text;
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

}  // namespace quellmark
