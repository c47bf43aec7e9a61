// Runs the real programs in a fresh directory of their own.
//
// The programs are the ones just built, unless QUELLMARK_BRENNOR and
// QUELLMARK_ASSEMBLER name others, run through QUELLMARK_RUNNER when it is
// set (Wine, for the Windows builds). QUELLMARK_LINE_END=crlf says that the
// programs' text files and console end their lines with CR LF.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "checker.h"
#include "listing.h"
#include "worked_example.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
};

std::string fromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

// `text` with the line ends the programs' platform writes.
std::string lines(const std::string& text) {
  if (fromEnvironment("QUELLMARK_LINE_END", "lf") != "crlf") return text;
  std::string result;
  for (const char c : text) result += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return result;
}

bool underRunner() {
  return !fromEnvironment("QUELLMARK_RUNNER", "").empty();
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (const char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

class EndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("quellmark-e2e-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  // Runs `program` in the run's folder; `input`, when given, is a file
  // there read as standard input.
  Outcome run(const std::string& program, const std::vector<std::string>& arguments = {},
              const std::string& input = "") {
    const std::string runner = fromEnvironment("QUELLMARK_RUNNER", "");
    std::string command = "cd " + quoted(dir_.string()) + " && ";
    if (!runner.empty()) command += quoted(runner) + " ";
    command += quoted(program);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    if (!input.empty()) command += " < " + quoted(input);
    // Beside the run's folder, so that they are not among its files.
    const fs::path out = dir_.string() + ".stdout";
    const fs::path err = dir_.string() + ".stderr";
    command += " > " + quoted(out.string()) + " 2> " + quoted(err.string());
    // Wine that loses its server ends a program before it starts, with
    // status 1 and not a byte on either stream, which none of these
    // programs gives: such a run is made again.
    Outcome result;
    for (int attempt = 1;; ++attempt) {
      const int raw = std::system(command.c_str());
      result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      result.output = readFile(out);
      result.errors = readFile(err);
      fs::remove(out);
      fs::remove(err);
      const bool unstarted = result.status == 1 && result.output.empty() && result.errors.empty();
      if (!underRunner() || !unstarted || attempt == 3) break;
      std::cerr << "the runner did not start " << program << ": started again\n";
    }
    return result;
  }
  Outcome brennor(const std::vector<std::string>& arguments = {}) {
    return run(fromEnvironment("QUELLMARK_BRENNOR", BRENNOR_PATH), arguments);
  }
  Outcome reduced(const std::vector<std::string>& arguments = {}) {
    return run(fromEnvironment("QUELLMARK_ASSEMBLER", ASSEMBLER_PATH), arguments);
  }
  Outcome companion(const std::vector<std::string>& arguments, const std::string& input = "") {
    return run(fromEnvironment("QUELLMARK_COMPANION", COMPANION_PATH), arguments, input);
  }
  // The files of the run's folder, by name.
  std::vector<std::string> files() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void put(const std::string& name, const std::string& text) { writeFile(dir_ / name, text); }
  std::string get(const std::string& name) { return readFile(dir_ / name); }
  bool has(const std::string& name) { return fs::exists(dir_ / name); }

  fs::path dir_;
};

TEST_F(EndToEndTest, WorkedExampleFromDefaultName) {
  put("in2.asm", quellmark::testing_support::kWorkedExample);
  const Outcome result = brennor();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  if (!underRunner()) {
    EXPECT_EQ(result.errors, "");  // Wine may speak for itself there
  }
  EXPECT_EQ(get("out.hex"), quellmark::testing_support::kWorkedImage);
  EXPECT_EQ(get("temp.txt"), lines(quellmark::testing_support::kWorkedIntermediate));
}

TEST_F(EndToEndTest, MissingDefaultSourceReportsAndLeavesEmptyFiles) {
  for (const bool full : {true, false}) {
    const Outcome result = full ? brennor() : reduced();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, lines("file error\n"));
    ASSERT_TRUE(has("out.hex") && has("temp.txt"));
    EXPECT_EQ(get("out.hex"), "");
    EXPECT_EQ(get("temp.txt"), "");
  }
}

TEST_F(EndToEndTest, SourceNameIsCutToEighteenCharacters) {
  put("abcdefghijklmnopqr", "hlt\n");
  EXPECT_EQ(brennor({"abcdefghijklmnopqrstuvwxy"}).status, 0);
  EXPECT_EQ(get("out.hex"), "000E");
  EXPECT_EQ(brennor({"abcdefghijklmnopqr", "other", "more"}).status, 0);
  EXPECT_EQ(get("out.hex"), "000E");
  EXPECT_EQ(brennor({"abcdefghijklmnopq"}).output, lines("file error\n"));
}

TEST_F(EndToEndTest, EmptySourceGivesEmptyFiles) {
  put("empty.asm", "");
  const Outcome result = reduced({"empty.asm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(get("out.hex"), "");
  EXPECT_EQ(get("temp.txt"), "");
}

TEST_F(EndToEndTest, RerunOverwritesBothFiles) {
  put("a.asm", "add r1 r2 r3\nsub r1 r2 r3\nhlt\n");
  put("b.asm", "hlt\n");
  ASSERT_EQ(brennor({"a.asm"}).status, 0);
  ASSERT_EQ(get("out.hex"), "09901990000E");
  ASSERT_EQ(brennor({"b.asm"}).status, 0);
  EXPECT_EQ(get("out.hex"), "000E");
  EXPECT_EQ(get("temp.txt"), lines("hlt \n"));
}

TEST_F(EndToEndTest, LongLineIsHandledAsTwoLines) {
  // 150 characters and a newline: the first 99 and the remaining 51.
  const std::string rest(51 - 5, ' ');
  std::string line = "j far" + std::string(94, ' ') + "x: hlt" + rest;
  line.resize(150, ' ');
  put("long.asm", line + "\nfar: hlt\n");
  ASSERT_EQ(brennor({"long.asm"}).status, 0);
  EXPECT_EQ(get("temp.txt"), lines("j far \nhlt \nhlt \n"));
  EXPECT_EQ(get("out.hex"), "200A000E000E");
}

TEST_F(EndToEndTest, BuildsDifferInDataAndLoneLabels) {
  put("p.asm", "top:\nj top\ndw 7\n");
  ASSERT_EQ(brennor({"p.asm"}).status, 0);
  EXPECT_EQ(get("out.hex"), "000A7000");
  ASSERT_EQ(reduced({"p.asm"}).status, 0);
  EXPECT_EQ(get("temp.txt"), lines("\nj top \n7 \n"));
  EXPECT_EQ(get("out.hex"), "0000000A0000");
}

TEST_F(EndToEndTest, CarriageReturnLineEndsGiveTheSameImage) {
  put("lf.asm", "start: addi r1, r0, 3\nloop: beq r1 r0 end\ndec r1 r1\nj loop\nend: hlt\n");
  put("crlf.asm",
      "start: addi r1, r0, 3\r\nloop: beq r1 r0 end\r\ndec r1 r1\r\nj loop\r\nend: hlt\r\n");
  ASSERT_EQ(brennor({"lf.asm"}).status, 0);
  const std::string image = get("out.hex");
  EXPECT_EQ(image, "380620485140100A000E");
  ASSERT_EQ(brennor({"crlf.asm"}).status, 0);
  EXPECT_EQ(get("out.hex"), image);
}

TEST_F(EndToEndTest, DirectoryAsSourceIsAFileError) {
  fs::create_directory(dir_ / "folder");
  const Outcome result = brennor({"folder"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, lines("file error\n"));
}

TEST_F(EndToEndTest, FullDiskIsAFileError) {
  if (!fs::exists("/dev/full") || underRunner()) GTEST_SKIP() << "no /dev/full for the program";
  put("p.asm", "hlt\n");
  fs::create_symlink("/dev/full", dir_ / "out.hex");
  const Outcome result = brennor({"p.asm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, lines("file error\n"));
}

TEST_F(EndToEndTest, ImageNameTakenByADirectoryIsAFileError) {
  put("p.asm", "hlt\n");
  fs::create_directory(dir_ / "out.hex");
  const Outcome result = brennor({"p.asm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, lines("file error\n"));
  EXPECT_EQ(get("temp.txt"), "");
}

TEST_F(EndToEndTest, ReadOnlyDirectoryIsAFileError) {
  put("p.asm", "hlt\n");
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  if (std::ofstream(dir_ / "probe")) GTEST_SKIP() << "permissions are not enforced (root)";
  const Outcome result = brennor({"p.asm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, lines("file error\n"));
}

// A really full and a really read-only folder: a tiny tmpfs mounted for the
// test, which needs root (CI runs as root).
class TmpfsTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    disk_ = dir_ / "disk";
    fs::create_directory(disk_);
    if (underRunner() ||
        std::system(("mount -t tmpfs -o size=16k tmpfs " + quoted(disk_.string()) +
                     " 2>/dev/null").c_str()) != 0) {
      GTEST_SKIP() << "cannot mount a 16 KiB tmpfs here (mounting needs root)";
    }
    mounted_ = true;
    writeFile(disk_ / "p.asm", "start: addi r1 r0 5\nj start\n");
  }
  void TearDown() override {
    if (mounted_) {
      EXPECT_EQ(std::system(("umount " + quoted(disk_.string())).c_str()), 0);
    }
    EndToEndTest::TearDown();
  }
  Outcome brennorIn(const std::string& source) {
    const fs::path keep = dir_;
    dir_ = disk_;
    const Outcome result = brennor({source});
    dir_ = keep;
    return result;
  }

  fs::path disk_;
  bool mounted_ = false;
};

TEST_F(TmpfsTest, FullFilesystemIsAFileError) {
  {
    std::ofstream filler(disk_ / "filler", std::ios::binary);
    const std::string block(512, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  }
  const Outcome result = brennorIn("p.asm");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "file error\n");
}

TEST_F(TmpfsTest, ReadOnlyFilesystemIsAFileError) {
  ASSERT_EQ(std::system(("mount -o remount,ro " + quoted(disk_.string())).c_str()), 0);
  const Outcome result = brennorIn("p.asm");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "file error\n");
  EXPECT_FALSE(fs::exists(disk_ / "out.hex"));
}

// `quellmark fix` on a full disk and on a read-only one: the file stays as
// it was, and no temporary file is left beside it.
TEST_F(TmpfsTest, FixLeavesTheFileWhenItCannotWriteItWhole) {
  const std::string typo = "loop: hlt\n j lop\n";
  writeFile(disk_ / "q.asm", typo);
  {
    std::ofstream filler(disk_ / "filler", std::ios::binary);
    const std::string block(512, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  }
  const fs::path keep = dir_;
  dir_ = disk_;
  Outcome result = companion({"fix", "q.asm"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.errors.find("cannot write 'q.asm': No space left on device"), std::string::npos)
      << result.errors;
  EXPECT_EQ(readFile(disk_ / "q.asm"), typo);
  fs::remove(disk_ / "filler");
  ASSERT_EQ(std::system(("mount -o remount,ro " + quoted(disk_.string())).c_str()), 0);
  result = companion({"fix", "q.asm"});
  dir_ = keep;
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.errors.find("cannot write 'q.asm': Read-only file system"), std::string::npos)
      << result.errors;
  EXPECT_EQ(readFile(disk_ / "q.asm"), typo);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(disk_)) left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"p.asm", "q.asm"}));
}

// ---- quellmark, the companion -------------------------------------------

TEST_F(EndToEndTest, CompanionFixesInPlaceOrShowsTheDiff) {
  const std::string source = "loop: hlt\n j lop\n addi r1, r1, 0x10\nlbl : hlt\n";
  const std::string fixed = "loop: hlt\n j loop\n addi r1, r1, 16\nlbl: hlt\n";
  const auto crlf = [](std::string text) {
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, 1, '\r');
    return text;
  };
  // A CR LF file keeps its line ends, on Windows too.
  put("crlf.asm", crlf(source));
  EXPECT_EQ(companion({"fix", "crlf.asm"}).status, 0);
  EXPECT_EQ(get("crlf.asm"), crlf(fixed));
  fs::remove(dir_ / "crlf.asm");
  put("p.asm", source);
  fs::permissions(dir_ / "p.asm", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  Outcome result = companion({"fix", "--dry-run", "p.asm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, lines("--- a/p.asm\n+++ b/p.asm\n@@ -1,4 +1,4 @@\n loop: hlt\n- j lop\n+ j loop\n"
                                 "- addi r1, r1, 0x10\n+ addi r1, r1, 16\n-lbl : hlt\n+lbl: hlt\n"));
  EXPECT_EQ(get("p.asm"), source);

  result = companion({"fix", "p.asm"});
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(result.output, lines("p.asm: 3 fixes\n"));
  EXPECT_EQ(get("p.asm"), fixed);
  if (!underRunner()) {  // Windows keeps no group permissions
    EXPECT_EQ(fs::status(dir_ / "p.asm").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  }
  EXPECT_EQ(companion({"check", "p.asm"}).status, 0);
  EXPECT_EQ(files(), (std::vector<std::string>{"p.asm"}));

  // Standard input's text, fixed, goes to standard output as it is: a CR LF
  // source keeps its line ends.
  put("in.asm", crlf(source));
  result = companion({"fix", "-"}, "in.asm");
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(result.output, crlf(fixed));
}

TEST_F(EndToEndTest, CompanionFixLeavesAReadOnlyFileAndAPipe) {
  if (underRunner()) GTEST_SKIP() << "modes and FIFOs are this platform's";
  const std::string source = "loop: hlt\n j lop\n";
  put("ro.asm", source);
  fs::permissions(dir_ / "ro.asm", fs::perms::owner_read | fs::perms::group_read);
  Outcome result = companion({"fix", "ro.asm"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.errors, "quellmark: 'ro.asm' is read-only: it is left as it is\n");
  EXPECT_EQ(get("ro.asm"), source);
  // A FIFO with no writer would block a reader: it is refused unread.
  ASSERT_EQ(::mkfifo((dir_ / "pipe.asm").c_str(), 0600), 0);
  result = companion({"fix", "pipe.asm"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.errors, "quellmark: 'pipe.asm' is not a regular file: it is left as it is\n");
}

TEST_F(EndToEndTest, CompanionCheckExitStatusesAndSeveralFiles) {
  put("clean.asm", "start: addi r1 r0 5\nj start\n");
  put("typo.asm", "ad r1 r2 r3\n");
  Outcome result = companion({"check", "clean.asm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");

  result = companion({"check", "clean.asm", "typo.asm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output,
            lines("typo.asm:1:1: warning: `ad` is not an instruction: it is taken as a label, "
                  "and `r1 r2 r3` assembles to 0000 [-Wnot-an-instruction]\nad r1 r2 r3\n^\n"
                  "typo.asm:1:1: note: did you mean 'add'?\n"));

  // An unreadable file: status 2, its reason on standard error, and the
  // findings of the others still printed.
  result = companion({"check", "missing.asm", "typo.asm"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.errors.find("cannot open 'missing.asm': No such file or directory"),
            std::string::npos)
      << result.errors;
  EXPECT_NE(result.output.find("typo.asm:1:1: warning:"), std::string::npos);
  EXPECT_EQ(files(), (std::vector<std::string>{"clean.asm", "typo.asm"}));  // it writes nothing
}

TEST_F(EndToEndTest, CompanionReducedBuild) {
  put("p.asm", "top:\nj top\n");
  EXPECT_EQ(companion({"check", "p.asm"}).status, 0);
  const Outcome result = companion({"check", "--reduced", "p.asm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("[-Wlabel-word]"), std::string::npos);
  EXPECT_EQ(companion({"list", "--reduced", "p.asm"}).output,
            lines("0000 0000 0000      1  top:\n0001 A000 000A      2  j top\n\ntop 0 0x0000 1\n"));
}

TEST_F(EndToEndTest, CompanionListAndSymbols) {
  put("p.asm", quellmark::testing_support::kWorkedExample);
  Outcome result = companion({"list", "p.asm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.output.find(lines("0000 608A A806      3  start:  ADDI r1, r0, MAX\n")),
            std::string::npos);
  result = companion({"symbols", "p.asm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, lines("max 10 0x000A 2\nstart 0 0x0000 3\nloop 1 0x0001 4\n"
                                 "done 4 0x0004 7\ntable 5 0x0005 8\n"));
  for (const char* command : {"list", "symbols"}) {
    result = companion({command, "missing.asm"});
    EXPECT_EQ(result.status, 2) << command;
    EXPECT_EQ(result.output, "") << command;
    EXPECT_NE(result.errors.find("cannot open 'missing.asm'"), std::string::npos) << command;
  }
}

TEST_F(EndToEndTest, CompanionReadsALargeFileInHalvesAsAWhole) {
  // More than a mebibyte, so that the first reading takes it in two halves
  // where the platform allows; names are defined again across the middle.
  std::string source;
  for (int block = 0; source.size() < 1'300'000; ++block) {
    const std::string b = std::to_string(block % 5000);
    source += "define k" + b + " " + std::to_string(block) + "\n";
    source += "l" + b + ":  addi r1, r0, k" + b + "\n        beq r1 r0 l" + b + "\n";
    source += "        dw " + std::to_string(block) + ", -1\n        sw r2, l" + b + "(r0)\n";
  }
  put("big.asm", source);
  const quellmark::MemoryText open(source);
  quellmark::Walk walk(quellmark::Build::full);
  walk.splitSourcesFrom(UINT64_MAX);
  ASSERT_TRUE(walk.collect(open));
  std::string symbols;
  quellmark::appendSymbols(walk, symbols);
  quellmark::MemorySink listed;
  {
    quellmark::BufferedWriter out(listed);
    ASSERT_TRUE(quellmark::writeListing(open, quellmark::Build::full, out));
    ASSERT_TRUE(out.close());
  }

  Outcome result = companion({"symbols", "big.asm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.output == lines(symbols)) << "the symbols differ";
  result = companion({"list", "big.asm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.output == lines(listed.text())) << "the listing differs";

  quellmark::MemorySink sink;
  quellmark::BufferedWriter out(sink);
  ASSERT_TRUE(quellmark::checkSource("big.asm", open, quellmark::Build::full, out));
  ASSERT_TRUE(out.close());
  result = companion({"check", "big.asm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.output == lines(sink.text())) << "the findings differ";
}

TEST_F(EndToEndTest, CompanionDisassemblyAssemblesBack) {
  put("p.asm", quellmark::testing_support::kWorkedExample);
  ASSERT_EQ(brennor({"p.asm"}).status, 0);
  const std::string image = get("out.hex");
  const Outcome result = companion({"dis", "out.hex"});
  EXPECT_EQ(result.status, 0);
  put("back.asm", result.output);
  ASSERT_EQ(brennor({"back.asm"}).status, 0);
  EXPECT_EQ(get("out.hex"), image);
}

TEST_F(EndToEndTest, CompanionRejectsABadImage) {
  put("bad.hex", "A80620485140G");
  Outcome result = companion({"dis", "bad.hex"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.output, "");
  EXPECT_NE(result.errors.find("bad.hex: position 13: 'G' is not a hexadecimal digit"),
            std::string::npos)
      << result.errors;
  put("short.hex", "A80620");
  result = companion({"dis", "short.hex"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.errors.find("short.hex: position 5: the last group has 2 of its 4 digits"),
            std::string::npos);
}

TEST_F(EndToEndTest, CompanionUsage) {
  EXPECT_EQ(companion({}).status, 2);
  EXPECT_EQ(companion({"list"}).status, 2);
  EXPECT_EQ(companion({"frobnicate", "x"}).status, 2);
  const Outcome help = companion({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("quellmark check [--reduced] FILE..."), std::string::npos);
  EXPECT_EQ(companion({"--version"}).status, 0);
}

}  // namespace
