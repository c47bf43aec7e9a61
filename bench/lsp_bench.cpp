// Times `quellmark lsp` as an editor uses it: a document opened until its
// first diagnostics arrive, its semantic tokens, and one character of it
// changed until the diagnostics of that version arrive. Reports medians
// (and the slowest tenth of the edits) at each size, and the server's
// memory after the first edits and after all of them. With --long-line,
// times the first diagnostics of a document of one long line full of
// findings, in UTF-16 and in UTF-8 positions, to show that the time per
// byte does not grow with the line.
//
//   lsp_bench QUELLMARK [LINES...]      (default: 1000 10000 100000)
//   lsp_bench --long-line QUELLMARK [KIB...]   (default: 128 512 1024 5120)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "generated_program.h"

extern char** environ;

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

class Server {
 public:
  explicit Server(const std::string& program) {
    int in[2];
    int out[2];
    if (pipe(in) != 0 || pipe(out) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("lsp"), nullptr};
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::exit(1);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Server() {
    send({{"jsonrpc", "2.0"}, {"id", 999999}, {"method", "shutdown"}});
    send({{"jsonrpc", "2.0"}, {"method", "exit"}});
    close(to_);
    waitpid(pid_, nullptr, 0);
  }

  void send(const json& message) const {
    const std::string body = message.dump();
    const std::string frame = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    for (std::size_t at = 0; at < frame.size();) {
      const ssize_t n = write(to_, frame.data() + at, frame.size() - at);
      if (n <= 0) std::exit(1);
      at += static_cast<std::size_t>(n);
    }
  }
  json receive() { return json::parse(receiveText()); }
  // The body of the next message, unparsed.
  std::string receiveText() {
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) fill();
    const std::size_t length = std::stoul(buffer_.substr(16, end - 16));
    while (buffer_.size() < end + 4 + length) fill();
    std::string body = buffer_.substr(end + 4, length);
    buffer_.erase(0, end + 4 + length);
    return body;
  }
  // The server's resident memory, in KiB.
  [[nodiscard]] long residentKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
    }
    return 0;
  }

 private:
  void fill() {
    char chunk[65536];
    const ssize_t n = read(from_, chunk, sizeof chunk);
    if (n <= 0) std::exit(1);
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }

  pid_t pid_ = 0;
  int to_ = -1;
  int from_ = -1;
  std::string buffer_;
};

// Waits for the diagnostics of `version`; how many findings they hold.
// The server writes the notification's head in a fixed form, so the
// version is read from it without parsing the findings: the time measured
// is the server's, not that of a client's JSON reader.
std::size_t diagnosticsOf(Server& server, int version) {
  const std::string wanted = ",\"version\":" + std::to_string(version) + ",\"diagnostics\":";
  for (;;) {
    const std::string message = server.receiveText();
    if (!message.starts_with(R"({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics")")) continue;
    const std::size_t head = message.find(",\"diagnostics\":");
    if (head == std::string::npos || message.rfind(wanted, head) == std::string::npos) continue;
    std::size_t findings = 0;
    for (std::size_t at = message.find("\"severity\":"); at != std::string::npos;
         at = message.find("\"severity\":", at + 1)) {
      ++findings;
    }
    return findings;
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void initialize(Server& server, const char* encoding) {
  json params = json::object();
  if (encoding) params["capabilities"]["general"]["positionEncodings"] = {encoding};
  server.send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", params}});
  (void)server.receive();
  server.send({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", json::object()}});
}

// Opens `text` as `uri`; the seconds until its diagnostics, and how many.
std::pair<double, std::size_t> openTimed(Server& server, const std::string& uri, const std::string& text) {
  const json open = {{"jsonrpc", "2.0"},
                     {"method", "textDocument/didOpen"},
                     {"params", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", text}}}}}};
  const auto start = Clock::now();
  server.send(open);
  std::size_t findings = 0;
  for (;;) {
    const json message = server.receive();
    if (message.value("method", "") == "textDocument/publishDiagnostics" &&
        message["params"]["uri"] == uri) {
      findings = message["params"]["diagnostics"].size();
      break;
    }
  }
  return {secondsSince(start), findings};
}

int longLines(const char* program, const std::vector<long>& sizes) {
  for (const char* encoding : {"utf-16", "utf-8"}) {
    for (const long kib : sizes) {
      // A line of statements that each make a finding, with a letter of
      // two bytes and one of four now and then.
      std::string line;
      const std::string piece = "add r1 r2 r3 x: ";
      for (int i = 0; line.size() < static_cast<std::size_t>(kib) * 1024; ++i) {
        line += piece;
        if (i % 50 == 0) line += "\u00e9";
        if (i % 70 == 0) line += "\U0001D11E";
      }
      Server server(program);
      initialize(server, encoding);
      const auto [seconds, findings] = openTimed(server, "file:///long.asm", line + "\n");
      std::printf("%s, one line of %5ld KiB (%6zu findings): first diagnostics %8.1f ms, %6.1f us/KiB\n",
                  encoding, kib, findings, seconds * 1e3, seconds * 1e6 / static_cast<double>(kib));
    }
  }
  return 0;
}

double tenth(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() * 9 / 10];
}

}  // namespace

int main(int argc, char** argv) {
  const bool longLine = argc > 1 && std::string(argv[1]) == "--long-line";
  if (argc < 2 + (longLine ? 1 : 0)) {
    std::fprintf(stderr, "usage: %s [--long-line] QUELLMARK [LINES or KIB...]\n", argv[0]);
    return 2;
  }
  const char* program = argv[longLine ? 2 : 1];
  std::vector<long> sizes;
  for (int i = longLine ? 3 : 2; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (longLine) {
    if (sizes.empty()) sizes = {128, 512, 1024, 5120};
    return longLines(program, sizes);
  }
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  for (const long lines : sizes) {
    Server server(program);
    initialize(server, nullptr);  // UTF-16, as most editors count
    const std::string text = quellmark_bench::generate(lines);
    // Opened under five names, each analysed from nothing.
    std::vector<double> opens;
    std::size_t findings = 0;
    for (int i = 0; i < 5; ++i) {
      const auto [seconds, n] = openTimed(server, "file:///open" + std::to_string(i) + ".asm", text);
      opens.push_back(seconds);
      findings = n;
    }
    const std::string uri = "file:///open0.asm";
    std::vector<double> tokens;
    for (int i = 0; i < 5; ++i) {
      const auto start = Clock::now();
      server.send({{"jsonrpc", "2.0"},
                   {"id", 100 + i},
                   {"method", "textDocument/semanticTokens/full"},
                   {"params", {{"textDocument", {{"uri", uri}}}}}});
      // The answer is not parsed here, only told from notifications.
      while (server.receiveText().find(R"("id":)") == std::string::npos) {
      }
      tokens.push_back(secondsSince(start));
    }
    // Each edit types or removes one character in the middle line's
    // comment-free start: "        inc r4, r4" becomes "x       inc r4, r4".
    const int middle = static_cast<int>(lines / 2);
    const int edits = lines >= 100000 ? 100 : 300;
    std::vector<double> times;
    long early = 0;
    for (int version = 2; version < edits + 2; ++version) {
      const bool typed = version % 2 == 0;
      const json range = {{"start", {{"line", middle}, {"character", 0}}},
                          {"end", {{"line", middle}, {"character", typed ? 0 : 1}}}};
      const auto start = Clock::now();
      const json change = {{"range", range}, {"text", typed ? "x" : ""}};
      const json params = {{"textDocument", {{"uri", uri}, {"version", version}}},
                           {"contentChanges", json::array({change})}};
      server.send({{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"}, {"params", params}});
      (void)diagnosticsOf(server, version);
      times.push_back(secondsSince(start));
      if (version == 11) early = server.residentKiB();
    }
    std::printf("%7ld lines (%zu findings): open to diagnostics %6.2f ms, semantic tokens %6.2f ms, "
                "edit to diagnostics median %6.2f ms, 90th %6.2f ms; "
                "memory %.1f MiB after 10 edits, %.1f MiB after %d\n",
                lines, findings, median(opens) * 1e3, median(tokens) * 1e3, median(times) * 1e3,
                tenth(times) * 1e3, early / 1024.0, server.residentKiB() / 1024.0, edits);

    // Quick fixes of the whole text and its layout, on a text whose every
    // `addi r7, r7, 1` is written with 0x1 (a fix each) and whose lines are not laid out.
    std::string typos = text;
    for (std::size_t at = 0; (at = typos.find("addi r7, r7, 1", at)) != std::string::npos; at += 14) typos.replace(at, 14, "addi r7, r7, 0x1");
    const std::string typosUri = "file:///typos.asm";
    const std::size_t typoFindings = openTimed(server, typosUri, typos).second;
    const json whole = {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", lines}, {"character", 0}}}};
    std::vector<double> fixes;
    std::vector<double> layouts;
    std::size_t fixCount = 0;
    std::size_t editCount = 0;
    for (int i = 0; i < 9; ++i) {
      auto start = Clock::now();
      server.send({{"jsonrpc", "2.0"},
                   {"id", 200 + i},
                   {"method", "textDocument/codeAction"},
                   {"params", {{"textDocument", {{"uri", typosUri}}}, {"range", whole}, {"context", {{"diagnostics", json::array()}}}}}});
      std::string reply;
      while ((reply = server.receiveText()).find(R"("id":)") == std::string::npos) {
      }
      fixes.push_back(secondsSince(start));
      fixCount = json::parse(reply)["result"].size();
      start = Clock::now();
      server.send({{"jsonrpc", "2.0"},
                   {"id", 300 + i},
                   {"method", "textDocument/formatting"},
                   {"params", {{"textDocument", {{"uri", typosUri}}}, {"options", json::object()}}}});
      while ((reply = server.receiveText()).find(R"("id":)") == std::string::npos) {
      }
      layouts.push_back(secondsSince(start));
      editCount = json::parse(reply)["result"].size();
    }
    std::printf("%7ld lines (%zu findings): quick fixes of the whole text %6.2f ms (%zu), formatting %6.2f ms "
                "(%zu lines)\n",
                lines, typoFindings, median(fixes) * 1e3, fixCount, median(layouts) * 1e3, editCount);
  }
  return 0;
}
