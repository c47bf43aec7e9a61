// The language server's insides, shared by its files: the protocol's
// numbers, the reading of a message's fields without exceptions, the
// conversion of the analysis's places to the client's, and the state of
// one server.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "analysis.h"
#include "editor_features.h"
#include "json_text.h"
#include "language_server.h"
#include "line_index.h"

namespace quellmark {

using nlohmann::json;

namespace server {

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
inline const char* const kTokenTypes[] = {"function", "keyword", "macro", "parameter",
                                   "number",   "variable", "comment"};

inline std::string dumped(const json& message) {
  return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

// An error answer, written as text: a client that sends garbage line by
// line gets one for each line, and building it as an object costs more
// than reading the line did.
inline std::string failure(const json& id, int code, std::string_view message) {
  std::string text = R"({"jsonrpc":"2.0","id":)";
  text += dumped(id);
  text += R"(,"error":{"code":)";
  text += std::to_string(code);
  text += R"(,"message":)";
  appendJsonString(message, text);
  text += "}}";
  return text;
}

inline json notification(const std::string& method, json params) {
  return json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

// A response whose result is JSON text already.
inline std::string responseText(const json& id, std::string_view result) {
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
inline const json* member(const json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(name);
  return found == object.end() ? nullptr : &*found;
}

inline const std::string* stringIn(const json& object, const char* name) {
  const json* value = member(object, name);
  return value && value->is_string() ? value->get_ptr<const std::string*>() : nullptr;
}

// A line or character of the client's: a whole number from 0 to the
// protocol's largest; else why not.
inline std::variant<std::uint32_t, Failure> numberIn(const json* value, const char* what) {
  if (!value || !value->is_number_integer()) return Failure{kInvalidParams, std::string(what) + " is no whole number"};
  if (value->is_number_unsigned() ? value->get<std::uint64_t>() > kLargestNumber
                                  : value->get<std::int64_t>() < 0) {
    return Failure{kInvalidParams, std::string(what) + " is out of range"};
  }
  return static_cast<std::uint32_t>(value->get<std::uint64_t>());
}

inline std::variant<Position, Failure> positionIn(const json* value) {
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
  // The text and build `analysis` is of.
  std::string analysed;
  std::optional<Build> analysedIn;

  void changed(Encoding encoding) {
    index.emplace(text, encoding);
    stale = true;
  }
  // Analyses the text: after edits within one line, that line alone when
  // the rest reads as before, as typing mostly does.
  void analyse(Build build) {
    const std::optional<ChangedLine> edit =
        analysedIn == build ? changedLine(analysed, text) : std::nullopt;
    if (edit) {
      reanalyseLine(text, build, analysis, edit->line, edit->before, edit->after);
    } else if (analysedIn != build || analysed != text) {
      quellmark::analyse(text, build, analysis);
    }
    analysed = text;
    analysedIn = build;
    stale = false;
  }
};

// The protocol's range of a span of the assembler's bytes: the one
// conversion from the analysis's places to the client's.
inline std::pair<Position, Position> ends(const LineIndex& index, const Span& span) {
  return index.rangeOf(span.line - 1, span.column - 1, span.length);
}

// The first and last protocol lines of the params' "range"; every line
// when there is none and `whole` allows it.
struct Lines {
  std::uint32_t first = 0;
  std::uint32_t last = UINT32_MAX;
};
inline std::variant<Lines, Failure> linesIn(const json& params, bool whole = false) {
  const json* asked = member(params, "range");
  if (!asked && whole) return Lines{};
  const auto start = positionIn(asked ? member(*asked, "start") : nullptr);
  if (const Failure* f = std::get_if<Failure>(&start)) return *f;
  const auto end = positionIn(asked ? member(*asked, "end") : nullptr);
  if (const Failure* f = std::get_if<Failure>(&end)) return *f;
  return Lines{std::get<Position>(start).line, std::get<Position>(end).line};
}

// The protocol's range of a span, written as JSON text onto `out`: for
// answers of thousands of ranges, which JSON objects would slow.
inline void appendRange(const LineIndex& index, const Span& span, std::string& out) {
  const auto [start, end] = ends(index, span);
  out += R"({"start":{"line":)";
  out += std::to_string(start.line);
  out += R"(,"character":)";
  out += std::to_string(start.character);
  out += R"(},"end":{"line":)";
  out += std::to_string(end.line);
  out += R"(,"character":)";
  out += std::to_string(end.character);
  out += "}}";
}

// A finding as the protocol's diagnostic, written as JSON text onto `out`,
// as it is published and as a quick fix names it.
void appendDiagnostic(const LineIndex& index, const Analysis& analysis, const Diagnosis& finding,
                      std::string_view uri, std::string& out);

inline json position(const Position& p) {
  return json{{"line", p.line}, {"character", p.character}};
}

inline json range(const LineIndex& index, const Span& span) {
  const auto [start, end] = ends(index, span);
  return json{{"start", position(start)}, {"end", position(end)}};
}

inline json location(const std::string& uri, const LineIndex& index, const Span& span) {
  return json{{"uri", uri}, {"range", range(index, span)}};
}

}  // namespace server

struct LanguageServer::State {
  using Document = server::Document;
  using Reply = server::Reply;
  Build build;
  Encoding encoding = Encoding::utf16;
  bool markdown = true;  // hover texts in markdown, else plain text
  bool initialized = false;
  bool shutDown = false;
  // Whether a changed document's diagnostics are sent; a face that draws
  // the findings from the analysis itself has them not written at all.
  bool publishing = true;
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
      d.analyse(build);
      if (publishing) out.push_back(diagnostics(uri, d));
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
  Reply codeActions(const About& r) const;
  Reply signatureHelp(const About& r) const;
  Reply formatting(const About& r) const;
};

}  // namespace quellmark
