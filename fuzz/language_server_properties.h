// What must hold for the language server on any input: read as the bytes
// a client sends, and as a document with requests about it, it answers
// every request once, with its id, in JSON, and never fails. Checked by the
// fuzzer and by the tests.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "language_server.h"

namespace quellmark {

// Empty when every framed message of `out` is JSON, else what broke.
inline std::string framesFault(std::string_view out) {
  while (!out.empty()) {
    const std::size_t end = out.find("\r\n\r\n");
    constexpr std::string_view kLength = "Content-Length: ";
    if (end == std::string_view::npos || !out.starts_with(kLength)) return "a reply is not framed";
    const std::size_t length = std::stoul(std::string(out.substr(kLength.size(), end)));
    if (out.size() < end + 4 + length) return "a reply is cut short";
    if (!nlohmann::json::accept(out.substr(end + 4, length))) {
      return "a reply is no JSON";
    }
    out.remove_prefix(end + 4 + length);
  }
  return {};
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

// Requests and notifications are written as text, not built as JSON
// objects: the fuzzer runs thousands of inputs a second.
inline std::string serverFault(const std::string& input, bool everyRequest = true) {
  using nlohmann::json;
  // The bytes as they come from a client.
  {
    MemorySource in(input);
    MemorySink out;
    (void)serveLanguage(in, out, Build::full);
    if (std::string fault = framesFault(out.text()); !fault.empty()) return fault;
  }
  // A long input (a deep nesting, say) is a document only in its first
  // KiB: the companion's fuzzer and the tests cover the analysis of longer
  // sources at length.
  const std::string bytes = input.substr(0, 1024);
  // The bytes as a document, and requests at places that they choose.
  LanguageServer server(Build::reduced);
  std::vector<std::string> out;
  server.receive(
      R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{"general":{"positionEncodings":["utf-16"]}}}})",
      out);
  const std::string document = R"({"textDocument":{"uri":"file:///f.asm","version":)";
  std::string open = R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":)" + document + "1,\"text\":";
  open += json(bytes).dump(-1, ' ', false, json::error_handler_t::replace);
  open += "}}}";
  server.receive(open, out);
  const auto byte = [&bytes](std::size_t i) {
    return bytes.empty() ? 0 : static_cast<unsigned char>(bytes[i % bytes.size()]);
  };
  const auto position = [](unsigned line, unsigned character) {
    return R"({"line":)" + std::to_string(line) + R"(,"character":)" + std::to_string(character) + "}";
  };
  const char* const methods[] = {"textDocument/hover",          "textDocument/definition",
                                 "textDocument/references",     "textDocument/documentHighlight",
                                 "textDocument/completion",     "textDocument/prepareRename",
                                 "textDocument/rename",         "textDocument/inlayHint",
                                 "textDocument/documentSymbol", "textDocument/semanticTokens/full",
                                 "textDocument/codeAction",     "textDocument/signatureHelp",
                                 "textDocument/formatting",     "textDocument/rangeFormatting"};
  int id = 1;
  // Requests that the bytes choose before an edit that they choose, and
  // after it; the tests run every request on every kept input.
  for (int round = 0; round < 2; ++round) {
    for (std::size_t k = 0; k < (everyRequest ? std::size(methods) : 1); ++k) {
      const char* method = everyRequest ? methods[k] : methods[byte(id * 7 + 3) % std::size(methods)];
      const std::string at = position(byte(id) % 12, byte(id + 1) % 40);
      const std::string params = R"({"textDocument":{"uri":"file:///f.asm"},"position":)" + at +
                                 R"(,"newName":")" + static_cast<char>('a' + byte(id + 2) % 26) +
                                 R"(","context":{"includeDeclaration":)" +
                                 (byte(id) % 2 == 0 ? "true" : "false") + R"(},"range":{"start":)" + at +
                                 R"(,"end":{"line":40,"character":0}}})";
      out.clear();
      server.receive(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
                         R"(","params":)" + params + "}",
                     out);
      if (out.size() != 1) return std::string(method) + " was not answered once";
      if (!answers(out[0], id)) return std::string(method) + ": a wrong reply";
      ++id;
    }
    if (round == 1) break;
    const std::string range = R"({"start":)" + position(byte(id) % 8, byte(id + 1) % 30) + R"(,"end":)" +
                              position(byte(id + 2) % 8, byte(id + 3) % 30) + "}";
    const std::string text = json(bytes.substr(0, byte(id + 4) % 16))
                                 .dump(-1, ' ', false, json::error_handler_t::replace);
    server.receive(R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":)" + document +
                       R"(2},"contentChanges":[{"range":)" + range + R"(,"text":)" + text + "}]}}",
                   out);
  }
  // Every line of the bytes as a message of its own.
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    out.clear();
    server.receive(std::string_view(bytes).substr(at, end - at), out);
    for (const std::string& reply : out) {
      if (!json::accept(reply)) return "a reply is no JSON";
    }
    at = end + 1;
  }
  return {};
}

}  // namespace quellmark
