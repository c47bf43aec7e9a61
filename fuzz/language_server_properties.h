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
    if (nlohmann::json::parse(out.substr(end + 4, length), nullptr, false).is_discarded()) {
      return "a reply is no JSON";
    }
    out.remove_prefix(end + 4 + length);
  }
  return {};
}

inline std::string serverFault(const std::string& bytes) {
  using nlohmann::json;
  // The bytes as they come from a client.
  {
    MemorySource in(bytes);
    MemorySink out;
    (void)serveLanguage(in, out, Build::full);
    if (std::string fault = framesFault(out.text()); !fault.empty()) return fault;
  }
  // The bytes as a document, and requests at places that they choose.
  LanguageServer server(Build::reduced);
  std::vector<std::string> out;
  const auto dump = [](const json& message) {
    return message.dump(-1, ' ', false, json::error_handler_t::replace);
  };
  server.receive(dump({{"jsonrpc", "2.0"},
                       {"id", 0},
                       {"method", "initialize"},
                       {"params", {{"capabilities", {{"general", {{"positionEncodings", {"utf-16"}}}}}}}}}),
                 out);
  const std::string uri = "file:///f.asm";
  const json document = {{"uri", uri}};
  server.receive(dump({{"jsonrpc", "2.0"},
                       {"method", "textDocument/didOpen"},
                       {"params", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", bytes}}}}}}),
                 out);
  const auto byte = [&bytes](std::size_t i) {
    return bytes.empty() ? 0 : static_cast<unsigned char>(bytes[i % bytes.size()]);
  };
  const char* const methods[] = {"textDocument/hover",          "textDocument/definition",
                                 "textDocument/references",     "textDocument/documentHighlight",
                                 "textDocument/completion",     "textDocument/prepareRename",
                                 "textDocument/rename",         "textDocument/inlayHint",
                                 "textDocument/documentSymbol", "textDocument/semanticTokens/full"};
  int id = 1;
  for (int round = 0; round < 3; ++round) {
    for (const char* method : methods) {
      const json position = {{"line", byte(id) % 12}, {"character", byte(id + 1) % 40}};
      const json params = {{"textDocument", document},
                           {"position", position},
                           {"newName", std::string(1, static_cast<char>('a' + byte(id + 2) % 26))},
                           {"context", {{"includeDeclaration", byte(id) % 2 == 0}}},
                           {"range", {{"start", position}, {"end", {{"line", 40}, {"character", 0}}}}}};
      out.clear();
      server.receive(dump({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}), out);
      if (out.size() != 1) return std::string(method) + " was not answered once";
      const json reply = json::parse(out[0], nullptr, false);
      if (reply.is_discarded() || reply["id"] != id) return std::string(method) + ": a wrong reply";
      ++id;
    }
    // An edit that the bytes choose, then again.
    const json from = {{"line", byte(id) % 8}, {"character", byte(id + 1) % 30}};
    const json to = {{"line", byte(id + 2) % 8}, {"character", byte(id + 3) % 30}};
    server.receive(dump({{"jsonrpc", "2.0"},
                         {"method", "textDocument/didChange"},
                         {"params",
                          {{"textDocument", {{"uri", uri}, {"version", round + 2}}},
                           {"contentChanges",
                            {{{"range", {{"start", from}, {"end", to}}},
                              {"text", bytes.substr(0, byte(id + 4) % 16)}}}}}}}),
                   out);
  }
  // Every line of the bytes as a message of its own.
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    out.clear();
    server.receive(std::string_view(bytes).substr(at, end - at), out);
    for (const std::string& reply : out) {
      if (json::parse(reply, nullptr, false).is_discarded()) return "a reply is no JSON";
    }
    at = end + 1;
  }
  return {};
}

}  // namespace quellmark
