// What must hold for the language server on any input: read as the bytes
// a client sends, and as a document with requests about it, it answers
// every request once, with its id, in JSON, and never fails. Checked by the
// fuzzer and by the tests.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "language_server.h"

namespace quellmark {

// Counts the values of an array as it is read, building nothing.
struct ArrayItems {
  int depth = 0;
  std::size_t items = 0;

  bool value() {
    if (depth == 1) ++items;
    return true;
  }
  bool null() { return value(); }
  bool boolean(bool) { return value(); }
  bool number_integer(nlohmann::json::number_integer_t) { return value(); }
  bool number_unsigned(nlohmann::json::number_unsigned_t) { return value(); }
  bool number_float(nlohmann::json::number_float_t, const std::string&) { return value(); }
  bool string(std::string&) { return value(); }
  bool binary(nlohmann::json::binary_t&) { return value(); }
  bool start_object(std::size_t) { return open(); }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return open(); }
  bool end_array() { return close(); }
  bool key(std::string&) { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception&) {
    return false;
  }

 private:
  bool open() {
    value();
    ++depth;
    return true;
  }
  bool close() {
    --depth;
    return true;
  }
};

// Whether each of `replies` is one JSON value. They are read as one array,
// which costs one reader instead of one for each: the fuzzer sends many
// lines that each get an answer. Counting the array's values tells an
// empty reply, or two values a comma joins, which the array alone hides.
inline bool allJson(const std::vector<std::string_view>& replies) {
  std::string array = "[";
  for (const std::string_view reply : replies) {
    if (array.size() > 1) array += ',';
    array += reply;
  }
  array += ']';
  ArrayItems counted;
  return nlohmann::json::sax_parse(array, &counted) && counted.items == replies.size();
}

// Empty when every framed message of `out` is JSON, else what broke.
inline std::string framesFault(std::string_view out) {
  std::vector<std::string_view> bodies;
  while (!out.empty()) {
    const std::size_t end = out.find("\r\n\r\n");
    constexpr std::string_view kLength = "Content-Length: ";
    if (end == std::string_view::npos || !out.starts_with(kLength)) return "a reply is not framed";
    const std::size_t length = std::stoul(std::string(out.substr(kLength.size(), end)));
    if (out.size() < end + 4 + length) return "a reply is cut short";
    bodies.push_back(out.substr(end + 4, length));
    out.remove_prefix(end + 4 + length);
  }
  return allJson(bodies) ? std::string() : "a reply is no JSON";
}

// Whether `reply` is JSON that answers request `id`: it holds the id as
// the server writes it.
inline bool answers(std::string_view reply, int id) {
  const std::string key = "\"id\":" + std::to_string(id);
  const std::size_t at = reply.find(key);
  return at != std::string_view::npos && at + key.size() < reply.size() &&
         (reply[at + key.size()] == ',' || reply[at + key.size()] == '}') &&
         nlohmann::json::accept(reply);
}

// `text` as a JSON string, a byte of no letter as U+FFFD.
inline std::string jsonString(std::string_view text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// A server that was initialized (for UTF-16 positions) and has `text`
// open as file:///f.asm. With `later`, the text is analysed only when a
// message that needs it comes: an edit that follows is analysed with it.
inline LanguageServer& opened(LanguageServer& server, std::string_view text, bool later = false) {
  std::vector<std::string> out;
  server.receive(
      R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{"general":{"positionEncodings":["utf-16"]}}}})",
      out);
  std::string open =
      R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"file:///f.asm","version":1,"text":)";
  open += jsonString(text);
  open += "}}}";
  server.receive(open, out, later);
  return server;
}

// What a scenario of the server's checks found wrong, or nothing.
using Fault = std::string;

// Whether two analyses say the same of their texts.
inline bool sameAnalysis(const Analysis& a, const Analysis& b) {
  return a.findings == b.findings && a.words == b.words && a.names == b.names &&
         a.places == b.places && a.tokens == b.tokens;
}

// The bytes as they come from a client: framed messages, or not.
inline Fault streamFault(const std::string& input) {
  MemorySource in(input);
  MemorySink out;
  (void)serveLanguage(in, out, Build::full);
  return framesFault(out.text());
}

// Requests at places the bytes choose, about the bytes as a document, with
// or without an edit the bytes choose before them; every request when
// `everyRequest`, else two that the bytes choose. The edit is analysed with
// the opening, as an editor's first keystroke before the server woke, and,
// for every request, also after an analysis of the text before it.
inline Fault documentFault(const std::string& bytes, bool edit, bool everyRequest) {
  LanguageServer server(Build::reduced);
  opened(server, bytes, edit && !everyRequest);
  const auto byte = [&bytes](std::size_t i) {
    return bytes.empty() ? 0 : static_cast<unsigned char>(bytes[i % bytes.size()]);
  };
  const auto position = [](unsigned line, unsigned character) {
    return R"({"line":)" + std::to_string(line) + R"(,"character":)" + std::to_string(character) +
           "}";
  };
  const char* const methods[] = {"textDocument/hover",          "textDocument/definition",
                                 "textDocument/references",     "textDocument/documentHighlight",
                                 "textDocument/completion",     "textDocument/prepareRename",
                                 "textDocument/rename",         "textDocument/inlayHint",
                                 "textDocument/documentSymbol", "textDocument/semanticTokens/full",
                                 "textDocument/codeAction",     "textDocument/signatureHelp",
                                 "textDocument/formatting",     "textDocument/rangeFormatting"};
  int id = 1;
  std::vector<std::string> out;
  const auto ask = [&]() -> Fault {
    for (std::size_t k = 0; k < (everyRequest ? std::size(methods) : 2); ++k) {
      const char* method =
          everyRequest ? methods[k] : methods[byte(id * 7 + 3) % std::size(methods)];
      const std::string at = position(byte(id) % 12, byte(id + 1) % 40);
      const std::string params = R"({"textDocument":{"uri":"file:///f.asm"},"position":)" + at +
                                 R"(,"newName":")" + static_cast<char>('a' + byte(id + 2) % 26) +
                                 R"(","context":{"includeDeclaration":)" +
                                 (byte(id) % 2 == 0 ? "true" : "false") + R"(},"range":{"start":)" +
                                 at + R"(,"end":{"line":40,"character":0}}})";
      out.clear();
      server.receive(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
                         R"(","params":)" + params + "}",
                     out);
      if (out.size() != 1) return std::string(method) + " was not answered once";
      if (!answers(out[0], id)) return std::string(method) + ": a wrong reply";
      ++id;
    }
    return {};
  };
  if (edit) {
    std::vector<std::string> published;
    if (everyRequest) {
      if (Fault fault = ask(); !fault.empty()) return fault;
    } else if (byte(id + 5) % 2 == 0) {
      // The text before the edit analysed first, as when the server was
      // awake: the edit may then be analysed from that analysis.
      (void)server.analysisOf("file:///f.asm", published);
    }
    const std::string range = R"({"start":)" + position(byte(id) % 8, byte(id + 1) % 30) +
                              R"(,"end":)" + position(byte(id + 2) % 8, byte(id + 3) % 30) + "}";
    const std::string text = jsonString(std::string_view(bytes).substr(0, byte(id + 4) % 16));
    server.receive(
        R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":"file:///f.asm","version":2},"contentChanges":[{"range":)" +
            range + R"(,"text":)" + text + "}]}}",
        out);
    // However it was analysed, the analysis is the text's own.
    const Analysis* kept = server.analysisOf("file:///f.asm", published);
    const std::string* now = server.textOf("file:///f.asm");
    if (kept && now && !sameAnalysis(*kept, analyse(*now, Build::reduced))) {
      return "the analysis after an edit is not the text's own";
    }
  }
  return ask();
}

// Every line of the bytes as a message of its own, to a server with a
// small program open, which requests among them may ask about.
inline Fault linesFault(const std::string& bytes) {
  LanguageServer server(Build::full);
  opened(server,
         "; a program to ask about\nloop:   addi r1, r1, -1\n        beq  r1, r0, done\n"
         "        j    loop\ndone:   hlt\nsquares:\n        dw 0, 1, 4, 9\n");
  std::vector<std::string> replies;
  std::vector<std::string> out;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    out.clear();
    server.receive(std::string_view(bytes).substr(at, end - at), out);
    replies.insert(replies.end(), out.begin(), out.end());
    at = end + 1;
  }
  return allJson(std::vector<std::string_view>(replies.begin(), replies.end()))
             ? Fault()
             : "a reply is no JSON";
}

// Requests and notifications are written as text, not built as JSON
// objects. The fuzzer (`everyRequest` false) runs one scenario of four, by
// the input's last byte, each costing only what it needs, so that it runs
// a thousand inputs a second; the tests run them all, with every request.
inline Fault serverFault(const std::string& input, bool everyRequest = true) {
  // A long input (a deep nesting, say) is a document only in its first
  // KiB: the companion's fuzzer and the tests cover the analysis of longer
  // sources at length.
  const std::string bytes = input.substr(0, 1024);
  const unsigned chosen = input.empty() ? 0 : static_cast<unsigned char>(input.back()) % 4;
  for (unsigned scenario = 0; scenario < 4; ++scenario) {
    if (!everyRequest && scenario != chosen) continue;
    Fault fault = scenario == 0   ? streamFault(input)
                  : scenario == 1 ? linesFault(bytes)
                                  : documentFault(bytes, scenario == 3, everyRequest);
    if (!fault.empty()) return fault;
  }
  return {};
}

}  // namespace quellmark
