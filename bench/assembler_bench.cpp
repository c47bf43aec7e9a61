// Times brennor on a generated source against the plain I/O floor of the
// same run, the two alternating round by round and their medians compared,
// and reports its peak memory and, when valgrind is there, the instructions
// and branch mispredictions per source line.
//
//   assembler_bench BRENNOR [LINES...]      (default: 10000 1000000)
//   assembler_bench --against OTHER BRENNOR [LINES...]
//   assembler_bench --companion QUELLMARK BRENNOR [LINES...]
//   assembler_bench --generate LINES        (the source on standard output)
//   assembler_bench --shapes QUELLMARK BRENNOR [MEGABYTES]
//
// With --against, another build of brennor runs in the same alternation and
// its median is compared too. With --companion, `quellmark check` and
// `quellmark list` run in alternation with brennor and their medians are
// compared with brennor's.
//
// The floor reads the source, writes a file of the source's size and reads
// it back (what the intermediate text costs at most), and writes an image
// of the size brennor produced.
//
// With --shapes, brennor and `quellmark check`, `list` and `symbols` run in
// alternation on two sources of the given size (default 100 MB) whose
// shape once made the companion's memory follow the input: one line
// without a line end, and a few names defined over and over.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "generated_program.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

double seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void spill(const fs::path& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size()) std::exit(1);
  std::fclose(file);
}

struct ProgramRun {
  double seconds = 0;
  long peakKiB = 0;
};

ProgramRun runProgram(const std::vector<std::string>& command, const fs::path& dir) {
  std::vector<char*> argv;
  for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // What a program prints is not part of the measure.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::perror("posix_spawn");
    std::exit(1);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  ProgramRun run{seconds(start), usage.ru_maxrss};
  posix_spawn_file_actions_destroy(&actions);
  fs::current_path(old);
  // quellmark check says 1 when it has findings.
  if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
    std::fprintf(stderr, "%s failed\n", argv[0]);
    std::exit(1);
  }
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Streams `from` into `to` (when given) through one buffer of 64 KiB, the
// way the assembler's streams move their bytes; returns the bytes moved.
std::size_t stream(const fs::path& from, const fs::path* to) {
  static char buffer[1 << 16];
  std::FILE* in = std::fopen(from.c_str(), "rb");
  std::FILE* out = to ? std::fopen(to->c_str(), "wb") : nullptr;
  if (!in || (to && !out)) std::exit(1);
  std::size_t total = 0;
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0; total += n) {
    if (out && std::fwrite(buffer, 1, n, out) != n) std::exit(1);
  }
  std::fclose(in);
  if (out) std::fclose(out);
  return total;
}

// The plain I/O of a run: read the source while writing a file of its size,
// read that file back, write an image of the size brennor wrote.
double ioFloor(const fs::path& dir, std::size_t imageBytes) {
  static char zeros[1 << 16];
  const auto start = Clock::now();
  const fs::path copy = dir / "floor.txt";
  const std::size_t written = stream(dir / "bench.asm", &copy);
  if (stream(copy, nullptr) != written) std::exit(1);
  std::FILE* image = std::fopen((dir / "floor.hex").c_str(), "wb");
  for (std::size_t left = imageBytes; left > 0;) {
    const std::size_t n = std::min(left, sizeof zeros);
    if (std::fwrite(zeros, 1, n, image) != n) std::exit(1);
    left -= n;
  }
  std::fclose(image);
  return seconds(start);
}

// Runs `f` in a child process and hands back the number it returned.
template <typename F>
double inChild(F f) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    const double result = f();
    if (write(fds[1], &result, sizeof result) != sizeof result) _exit(1);
    _exit(0);
  }
  double result = 0;
  if (read(fds[0], &result, sizeof result) != sizeof result) std::exit(1);
  waitpid(pid, nullptr, 0);
  close(fds[0]);
  close(fds[1]);
  return result;
}

// Instructions and branch mispredictions per line of `command` under
// valgrind's cachegrind, or nothing when valgrind cannot be run.
struct Counts {
  double instructions = 0;
  double mispredictions = 0;
};

std::optional<Counts> countPerLine(const std::string& program, const fs::path& dir, long lines) {
  const std::string command = "cd '" + dir.string() +
                              "' && valgrind --tool=cachegrind --cache-sim=no --branch-sim=yes "
                              "--cachegrind-out-file=/dev/null '" +
                              program + "' bench.asm 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  Counts counts;
  bool seen = false;
  char text[512];
  while (std::fgets(text, sizeof text, pipe)) {
    std::string row(text);
    row.erase(std::remove(row.begin(), row.end(), ','), row.end());
    const auto valueAfter = [&row](const char* label) {
      return std::strtod(row.c_str() + row.find(label) + std::strlen(label), nullptr);
    };
    if (row.find("I   refs:") != std::string::npos) {
      counts.instructions = valueAfter("I   refs:") / static_cast<double>(lines);
      seen = true;
    } else if (row.find("Mispredicts:") != std::string::npos) {
      counts.mispredictions = valueAfter("Mispredicts:") / static_cast<double>(lines);
    }
  }
  if (pclose(pipe) != 0 || !seen) return std::nullopt;
  return counts;
}

// Runs `commands` in turn, round by round, and prints each one's median
// time (against the first's) and peak memory.
void interleave(const std::vector<std::vector<std::string>>& commands,
                const std::vector<std::string>& names, int rounds, const fs::path& dir) {
  std::vector<std::vector<double>> times(commands.size());
  std::vector<long> peaks(commands.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t c = 0; c < commands.size(); ++c) {
      const ProgramRun r = runProgram(commands[c], dir);
      times[c].push_back(r.seconds);
      peaks[c] = std::max(peaks[c], r.peakKiB);
    }
  }
  const double base = median(times[0]);
  for (std::size_t c = 0; c < commands.size(); ++c) {
    std::printf("%8s        %-17s %9.1f ms, %5.2f x %s, peak %7.2f MiB\n", "", names[c].c_str(),
                median(times[c]) * 1e3, median(times[c]) / base, names[0].c_str(),
                peaks[c] / 1024.0);
  }
}

// The two sources of --shapes, of about `bytes` bytes each.
std::string oneLongLine(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 16);
  while (text.size() < bytes) text += "add r1 r2 r3 x: ";
  return text;
}

std::string namesOverAndOver(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 64);
  while (text.size() < bytes) text += "loop: addi r1, r0, 5\ndefine k 7\n  j loop\nend: hlt\n";
  return text;
}

int shapes(const std::string& companion, const std::string& program, long megabytes) {
  const fs::path dir = fs::temp_directory_path() / ("quellmark-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const auto bytes = static_cast<std::size_t>(megabytes) * 1000 * 1000;
  const struct {
    const char* name;
    std::string (*make)(std::size_t);
  } sources[] = {{"one line", oneLongLine}, {"names again and again", namesOverAndOver}};
  for (const auto& source : sources) {
    (void)inChild([&] {
      spill(dir / "bench.asm", source.make(bytes));
      return 0.0;
    });
    std::printf("%s, %ld MB:\n", source.name, megabytes);
    interleave({{program, "bench.asm"},
                {companion, "check", "bench.asm"},
                {companion, "list", "bench.asm"},
                {companion, "symbols", "bench.asm"}},
               {"brennor", "quellmark check", "quellmark list", "quellmark symbols"},
               megabytes > 200 ? 3 : 5, dir);
  }
  fs::remove_all(dir);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s [--against OTHER | --companion QUELLMARK] BRENNOR [LINES...]\n",
                 argv[0]);
    return 2;
  }
  if (std::string(argv[1]) == "--generate" && argc == 3) {
    const std::string source = quellmark_bench::generate(std::atol(argv[2]));
    std::fwrite(source.data(), 1, source.size(), stdout);
    return 0;
  }
  if (std::string(argv[1]) == "--shapes" && argc >= 4) {
    return shapes(fs::absolute(argv[2]).string(), fs::absolute(argv[3]).string(),
                  argc >= 5 ? std::atol(argv[4]) : 100);
  }
  int first = 1;
  std::string companion;
  std::string other;
  if (std::string(argv[1]) == "--companion" && argc >= 4) {
    companion = fs::absolute(argv[2]).string();
    first = 3;
  } else if (std::string(argv[1]) == "--against" && argc >= 4) {
    other = fs::absolute(argv[2]).string();
    first = 3;
  }
  const std::string program = fs::absolute(argv[first]).string();
  std::vector<long> sizes;
  for (int i = first + 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {10000, 1000000};

  const fs::path dir = fs::temp_directory_path() / ("quellmark-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  for (const long lines : sizes) {
    // A child process inherits the peak memory of its parent at the fork,
    // so everything large is done in children and this process stays small.
    const double sourceBytes = inChild([&] {
      const std::string source = quellmark_bench::generate(lines);
      spill(dir / "bench.asm", source);
      return static_cast<double>(source.size());
    });

    // brennor, the floor (and the other build) in turn, round by round.
    (void)runProgram({program, "bench.asm"}, dir);  // warms the caches
    const auto imageBytes = static_cast<std::size_t>(fs::file_size(dir / "out.hex"));
    std::vector<double> runs, floors, others;
    long peak = 0;
    long otherPeak = 0;
    for (int round = 0; round < 15; ++round) {
      const ProgramRun r = runProgram({program, "bench.asm"}, dir);
      runs.push_back(r.seconds);
      peak = std::max(peak, r.peakKiB);
      floors.push_back(ioFloor(dir, imageBytes));
      if (!other.empty()) {
        const ProgramRun o = runProgram({other, "bench.asm"}, dir);
        others.push_back(o.seconds);
        otherPeak = std::max(otherPeak, o.peakKiB);
      }
    }
    const double run = median(runs);
    const double floor = median(floors);
    std::printf(
        "%8ld lines, %9zu bytes: brennor %7.1f ms, floor %6.1f ms, ratio %.2f, peak %.2f MiB\n",
        lines, static_cast<std::size_t>(sourceBytes), run * 1e3, floor * 1e3, run / floor,
        peak / 1024.0);
    if (!other.empty()) {
      const double o = median(others);
      std::printf("%8s        other build %7.1f ms, ratio %.2f, %.3f x brennor, peak %.2f MiB\n",
                  "", o * 1e3, o / floor, o / run, otherPeak / 1024.0);
    }
    for (const std::string* build : std::array<const std::string*, 2>{&program, &other}) {
      if (build->empty()) continue;
      if (const auto counts = countPerLine(*build, dir, lines)) {
        std::printf("%8s        %s: %.0f instructions, %.2f branch mispredictions per line\n", "",
                    build == &program ? "brennor" : "other build", counts->instructions,
                    counts->mispredictions);
      }
    }
    if (companion.empty()) continue;

    // brennor, check and list in turn, round by round.
    std::printf("%8ld lines, interleaved medians:\n", lines);
    interleave({{program, "bench.asm"},
                {companion, "check", "bench.asm"},
                {companion, "list", "bench.asm"},
                {companion, "format", "--check", "bench.asm"}},
               {"brennor", "quellmark check", "quellmark list", "quellmark format --check"}, 7, dir);
  }
  fs::remove_all(dir);
  return 0;
}
