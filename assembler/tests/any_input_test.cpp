// The programs on what everyday use feeds them: standard input, pipes and
// FIFOs, lines of megabytes, and too little memory. Run for real, through
// a shell, in a fresh directory of their own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status = -1;
  std::string output;
  std::string errors;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The longest line of `text`, without its line feed.
std::size_t longestLine(const std::string& text) {
  std::size_t longest = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    longest = std::max(longest, end - at);
    at = end + 1;
  }
  return longest;
}

// `text` with each line that starts with `from` starting with `to`.
std::string renamed(const std::string& text, const std::string& from, const std::string& to) {
  std::string result;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(at, end - at);
    result += line.starts_with(from) ? to + line.substr(from.size()) : line;
    at = end;
  }
  return result;
}

constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

class AnyInputTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("quellmark-input-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs a shell command in the test's directory; COMPANION, BRENNOR and
  // ASSEMBLER name the programs.
  Outcome shell(const std::string& command) {
    const std::string out = dir_.string() + ".stdout";
    const std::string err = dir_.string() + ".stderr";
    const std::string line = "cd '" + dir_.string() + "' && COMPANION='" COMPANION_PATH
                             "' BRENNOR='" BRENNOR_PATH "' ASSEMBLER='" ASSEMBLER_PATH "' && { " +
                             command + "; } > '" + out + "' 2> '" + err + "'";
    const int raw = std::system(line.c_str());
    Outcome result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.output = readFile(out);
    result.errors = readFile(err);
    fs::remove(out);
    fs::remove(err);
    return result;
  }
  void put(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }

  fs::path dir_;
};

// A source with findings of several kinds, long lines, a CR LF line end and
// names defined again.
const std::string kFaulty =
    "define N 5\n"
    "start:  addi r1, r0, N\n"
    "        ad   r2, r2, r1\n"
    "        j    lop\r\n"
    "        sw   r2, 0x10(r0)\n"
    "start:  hlt" + std::string(150, ' ') + "beq r1 r0 far\n"
    "        addi r9, r0, 128\n"
    "        dw 70000\n";

TEST_F(AnyInputTest, PipesFifosAndStandardInputGiveWhatTheFileGives) {
  put("p.asm", kFaulty);
  // Large enough to be kept in a temporary file rather than in memory; its
  // long comments make it cheap to check twenty times.
  std::string big;
  const std::string comment = " ; " + std::string(1000, 'c');
  for (int i = 0; big.size() < 5'000'000; ++i) {
    big += "l" + std::to_string(i % 1000) + ": addi r1, r0, " + std::to_string(i % 200) + comment + "\n";
  }
  put("big.asm", big);
  ::mkfifo((dir_ / "fifo").c_str(), 0600);
  for (const std::string file : {"p.asm", "big.asm"}) {
    for (const std::string command : {"check", "check --reduced", "list", "symbols"}) {
      const Outcome expected = shell("\"$COMPANION\" " + command + " " + file);
      ASSERT_FALSE(expected.output.empty()) << command;
      const bool check = command.starts_with("check");
      const struct {
        std::string line;
        std::string name;  // as a finding names the source
      } ways[] = {
          {"cat " + file + " | \"$COMPANION\" " + command + " -", "<stdin>"},
          {"\"$COMPANION\" " + command + " - < " + file, "<stdin>"},
          {"cat " + file + " | \"$COMPANION\" " + command + " /dev/stdin", "/dev/stdin"},
          {"(cat " + file + " > fifo &) ; \"$COMPANION\" " + command + " fifo", "fifo"},
      };
      for (const auto& way : ways) {
        const Outcome got = shell(way.line);
        EXPECT_EQ(got.status, expected.status) << way.line;
        EXPECT_EQ(got.errors, "") << way.line;
        EXPECT_TRUE(got.output == (check ? renamed(expected.output, file + ":", way.name + ":")
                                         : expected.output))
            << way.line;
      }
    }
  }
  ASSERT_EQ(shell("\"$BRENNOR\" p.asm").status, 0);
  const Outcome expected = shell("\"$COMPANION\" dis out.hex");
  ASSERT_EQ(expected.status, 0);
  for (const std::string way : {"\"$COMPANION\" dis - < out.hex", "cat out.hex | \"$COMPANION\" dis -",
                                "(cat out.hex > fifo &) ; \"$COMPANION\" dis fifo"}) {
    EXPECT_EQ(shell(way).output, expected.output) << way;
  }
  EXPECT_EQ(shell("echo 12G4 | \"$COMPANION\" dis -").errors,
            "quellmark: <stdin>: position 3: 'G' is not a hexadecimal digit\n");
}

TEST_F(AnyInputTest, StandardInputIsReadOnceAndAStreamThatCannotBeKeptIsNoSuccess) {
  put("p.asm", kFaulty);
  Outcome result = shell("\"$COMPANION\" check - p.asm - < p.asm");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.output, "");
  EXPECT_NE(result.errors.find("'-'"), std::string::npos);

  // A stream of more than memory keeps, with nowhere to keep the rest.
  std::string big;
  while (big.size() < 5'000'000) big += "hlt\n";
  put("big.asm", big);
  result = shell("cat big.asm | TMPDIR=/nonexistent \"$COMPANION\" check -");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(result.errors, "quellmark: cannot keep '<stdin>': No such file or directory\n");
  // A small one is kept in memory.
  EXPECT_EQ(shell("cat p.asm | TMPDIR=/nonexistent \"$COMPANION\" check -").status, 1);

  // A temporary folder that fills up: a tiny tmpfs, where mounting works.
  fs::create_directory(dir_ / "tmp");
  if (std::system(("mount -t tmpfs -o size=1m tmpfs '" + (dir_ / "tmp").string() + "' 2>/dev/null")
                      .c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (mounting needs root)";
  }
  result = shell("cat big.asm | TMPDIR=tmp \"$COMPANION\" symbols -");
  EXPECT_EQ(std::system(("umount '" + (dir_ / "tmp").string() + "'").c_str()), 0);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(result.errors, "quellmark: cannot keep '<stdin>': No space left on device\n");
}

TEST_F(AnyInputTest, TheKeptCopyOfALargeStreamLeavesNothingBehind) {
  std::string big;
  while (big.size() < 5'000'000) big += "hlt\n";
  put("big.asm", big);
  fs::create_directory(dir_ / "keep");
  // After a success, and after a run that ends with status 2 once the
  // stream is kept (the second file cannot be read).
  EXPECT_EQ(shell("cat big.asm | TMPDIR=keep \"$COMPANION\" symbols -").status, 0);
  EXPECT_TRUE(fs::is_empty(dir_ / "keep"));
  EXPECT_EQ(shell("cat big.asm | TMPDIR=keep \"$COMPANION\" check - missing.asm").status, 2);
  EXPECT_TRUE(fs::is_empty(dir_ / "keep"));
}

TEST_F(AnyInputTest, LinesOfMegabytesInBoundedMemoryAndOutput) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers need more address space than the limit";
  // Eight mistakes a megabyte apart on one line.
  std::string line;
  for (int i = 0; i < 8; ++i) line += std::string(1'000'000, ' ') + "ad r1 r2";
  put("long.asm", line + "\n");
  // 16 MiB of address space: twice the line.
  const std::string limit = "ulimit -v 16384; ";
  Outcome result = shell(limit + "\"$COMPANION\" check long.asm");
  EXPECT_EQ(result.status, 1) << result.errors;
  EXPECT_EQ(result.errors, "");
  EXPECT_LE(longestLine(result.output), 300u);
  // The long line's own finding, the eight, and seven redefinitions with
  // their notes.
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '^'), 23);
  EXPECT_NE(result.output.find("long.asm:1:8000057: warning: `ad` is not an instruction"),
            std::string::npos);

  result = shell(limit + "\"$COMPANION\" list long.asm");
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(result.output, "0000 0000 0000      1  " + line.substr(0, 200) +
                               "...\n0001 0000 0000      1\n"
                               "0002 0000 0000      1\n0003 0000 0000      1\n"
                               "0004 0000 0000      1\n0005 0000 0000      1\n"
                               "0006 0000 0000      1\n0007 0000 0000      1\n\n"
                               "ad 7 0x0007 1\n");
  result = shell(limit + "\"$COMPANION\" symbols long.asm");
  EXPECT_EQ(result.output, "ad 7 0x0007 1\n");
}

TEST_F(AnyInputTest, TooLittleMemoryForTheNamesEndsWithAMessage) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers need more address space than the limit";
  std::string source;
  for (int i = 0; i < 400'000; ++i) source += "name" + std::to_string(i) + ": hlt\n";
  put("names.asm", source);
  ASSERT_EQ(shell("\"$BRENNOR\" names.asm").status, 0);
  const std::string limit = "ulimit -v 12288; ";
  for (const char* program : {"\"$BRENNOR\"", "\"$ASSEMBLER\""}) {
    const Outcome result = shell(limit + program + " names.asm");
    EXPECT_EQ(result.status, 1) << program;
    EXPECT_EQ(result.output, "out of memory\n") << program;
  }
  for (const char* command : {"check", "list", "symbols"}) {
    const Outcome result = shell(limit + "\"$COMPANION\" " + command + " names.asm");
    EXPECT_EQ(result.status, 2) << command;
    EXPECT_EQ(result.errors, "quellmark: out of memory\n") << command;
  }
}

}  // namespace
