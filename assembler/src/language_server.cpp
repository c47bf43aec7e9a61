#include "language_server.h"

#include <algorithm>
#include <array>
#include <tuple>

#include "json_text.h"
#include "server_state.h"

namespace quellmark {

using namespace server;

namespace {

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
            {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
            {"signatureHelpProvider", {{"triggerCharacters", {" ", ","}}, {"retriggerCharacters", {"("}}}},
            {"documentFormattingProvider", true},
            {"documentRangeFormattingProvider", true},
            {"semanticTokensProvider", {{"legend", legend}, {"full", true}, {"range", true}}}}},
          {"serverInfo", {{"name", "quellmark"}, {"version", QUELLMARK_SERVER_VERSION}}}});
    }
    return written;
  }();
  return kWritten[static_cast<std::size_t>(encoding)];
}

}  // namespace

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
      {"textDocument/semanticTokens/range", {&State::semanticTokens, false}},
      {"textDocument/inlayHint", {&State::inlayHints, false}},
      {"textDocument/documentSymbol", {&State::symbols, false}},
      {"textDocument/codeAction", {&State::codeActions, false}},
      {"textDocument/signatureHelp", {&State::signatureHelp, true}},
      {"textDocument/formatting", {&State::formatting, false}},
      {"textDocument/rangeFormatting", {&State::formatting, false}},
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
  text += R"({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics","params":{"uri":)";
  appendJsonString(uri, text);
  text += R"(,"version":)";
  text += std::to_string(d.version);
  text += R"(,"diagnostics":[)";
  bool first = true;
  for (const Diagnosis& f : d.analysis.findings) {
    if (!first) text += ',';
    first = false;
    server::appendDiagnostic(index, d.analysis, f, uri, text);
  }
  text += "]}}";
  return text;
}

void server::appendDiagnostic(const LineIndex& index, const Analysis& analysis, const Diagnosis& f,
                              std::string_view uri, std::string& text) {
  text += R"({"range":)";
  appendRange(index, analysis.markOf(f.at), text);
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
    appendRange(index, *f.noteAt, text);
    text += R"(},"message":)";
    appendJsonString(f.note, text);
    text += "}]";
  }
  text += '}';
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
    out.push_back(failure(nullptr, kInvalidRequest, "not a request or notification"));
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
    out.push_back(failure(*id, kServerNotInitialized, "initialize comes first"));
    return;
  }
  if (shutDown) {
    out.push_back(failure(*id, kInvalidRequest, "the server is shutting down"));
    return;
  }
  if (*method != "initialize" && *method != "shutdown" && !methods().contains(*method)) {
    out.push_back(failure(*id, kMethodNotFound, "no method " + *method));
    return;
  }
  // A request is answered from the text as it is now.
  publish(out);
  const Reply reply = answer(*method, params);
  if (const Failure* f = std::get_if<Failure>(&reply)) {
    out.push_back(failure(*id, f->code, f->why));
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
    out.push_back(failure(nullptr, kParseError, "the message is no JSON"));
  } else if (tooDeep) {
    // The id, when it is one a request can have and was kept.
    const json* id = member(message, "id");
    const bool hasId = id && (id->is_number_integer() || id->is_string());
    out.push_back(failure(hasId ? *id : json(nullptr), kInvalidRequest,
                          "the message nests deeper than " + std::to_string(kDeepest) + " levels"));
  } else {
    state_->receive(message, out);
  }
  if (!more) state_->publish(out);
}

void LanguageServer::publish(std::vector<std::string>& out) {
  state_->publish(out);
}

void LanguageServer::setPublishing(bool publishing) {
  state_->publishing = publishing;
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
  return failure(nullptr, kParseError, "the header has no valid Content-Length");
}

std::optional<int> LanguageServer::exitStatus() const {
  return state_->exit;
}

bool LanguageServer::shutDown() const {
  return state_->shutDown;
}

}  // namespace quellmark
