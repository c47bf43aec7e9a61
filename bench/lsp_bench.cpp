// Times `quellmark lsp` as an editor uses it: one character of an open
// document changed, until the diagnostics of that version arrive. Reports
// the median and the slowest tenth over many edits, at each size, and the
// server's memory after the first edits and after all of them.
//
//   lsp_bench QUELLMARK [LINES...]      (default: 1000 10000 100000)
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
  json receive() {
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) fill();
    const std::size_t length = std::stoul(buffer_.substr(16, end - 16));
    while (buffer_.size() < end + 4 + length) fill();
    json message = json::parse(buffer_.substr(end + 4, length));
    buffer_.erase(0, end + 4 + length);
    return message;
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
std::size_t diagnosticsOf(Server& server, int version) {
  for (;;) {
    const json message = server.receive();
    if (message.value("method", "") == "textDocument/publishDiagnostics" &&
        message["params"].value("version", -1) == version) {
      return message["params"]["diagnostics"].size();
    }
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double tenth(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() * 9 / 10];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s QUELLMARK [LINES...]\n", argv[0]);
    return 2;
  }
  std::vector<long> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  for (const long lines : sizes) {
    Server server(argv[1]);
    server.send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", json::object()}});
    (void)server.receive();
    server.send({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", json::object()}});
    const std::string uri = "file:///bench.asm";
    const std::string text = quellmark_bench::generate(lines);
    server.send({{"jsonrpc", "2.0"},
                 {"method", "textDocument/didOpen"},
                 {"params", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", text}}}}}});
    const std::size_t findings = diagnosticsOf(server, 1);
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
      times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      if (version == 11) early = server.residentKiB();
    }
    std::printf("%7ld lines (%zu findings): edit to diagnostics median %6.2f ms, 90th %6.2f ms; "
                "memory %.1f MiB after 10 edits, %.1f MiB after %d\n",
                lines, findings, median(times) * 1e3, tenth(times) * 1e3, early / 1024.0,
                server.residentKiB() / 1024.0, edits);
  }
  return 0;
}
