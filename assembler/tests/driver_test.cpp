#include "driver.h"

#include <gtest/gtest.h>

#include <array>

#include "fakes.h"

namespace quellmark {
namespace {

using testing_support::FakeFileSystem;

TEST(SourceNameTest, DefaultAndCut) {
  EXPECT_EQ(sourceName({}), "in2.asm");
  const std::array<const char*, 1> exact = {"abcdefghijklmn.asm"};
  EXPECT_EQ(sourceName(exact), "abcdefghijklmn.asm");
  const std::array<const char*, 1> longer = {"abcdefghijklmnopqrstuvwxy"};
  EXPECT_EQ(sourceName(longer), "abcdefghijklmnopqr");
  const std::array<const char*, 3> three = {"one.asm", "two.asm", "three.asm"};
  EXPECT_EQ(sourceName(three), "one.asm");
}

TEST(ProgramArgumentsTest, SkipsTheProgramName) {
  const char* argv[] = {"brennor", "x.asm"};
  EXPECT_EQ(programArguments(2, argv).size(), 1u);
  EXPECT_TRUE(programArguments(1, argv).empty());
  EXPECT_TRUE(programArguments(0, argv).empty());
}

class DriverTest : public testing::Test {
 protected:
  int run(Build build = Build::full) {
    const std::array<const char*, 1> arguments = {"prog.asm"};
    return runAssembler(arguments, build, files, console);
  }
  FakeFileSystem files;
  MemorySink console;
};

TEST_F(DriverTest, SuccessfulRunWritesBothFilesAndNothingElse) {
  files.files["prog.asm"] = "start: add r1 r2 r3\nj start\n";
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(files.files["out.hex"], "0990000A");
  EXPECT_EQ(files.files["temp.txt"], "add r1 r2 r3 \nj start \n");
  EXPECT_EQ(console.text(), "");
}

TEST_F(DriverTest, MissingSourceStillCreatesEmptyOutputs) {
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(console.text(), "file error\n");
  EXPECT_EQ(files.opensForRead, 1);
  EXPECT_EQ(files.opensForWrite, 2);
  EXPECT_EQ(files.files["out.hex"], "");
  EXPECT_EQ(files.files["temp.txt"], "");
}

struct FailureCase {
  const char* name;
  std::set<std::string> FakeFileSystem::*step;
  std::string file;
};

class DriverFailureTest : public DriverTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(DriverFailureTest, ReportsFileErrorWithStatusOne) {
  files.files["prog.asm"] = "hlt\n";
  (files.*GetParam().step).insert(GetParam().file);
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(console.text(), "file error\n");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DriverFailureTest,
    testing::Values(FailureCase{"OpenImage", &FakeFileSystem::failOpen, "out.hex"},
                    FailureCase{"OpenIntermediate", &FakeFileSystem::failOpen, "temp.txt"},
                    FailureCase{"ReadSource", &FakeFileSystem::failRead, "prog.asm"},
                    FailureCase{"ReadIntermediate", &FakeFileSystem::failRead, "temp.txt"},
                    FailureCase{"WriteIntermediate", &FakeFileSystem::failWrite, "temp.txt"},
                    FailureCase{"WriteImage", &FakeFileSystem::failWrite, "out.hex"},
                    FailureCase{"CloseIntermediate", &FakeFileSystem::failClose, "temp.txt"},
                    FailureCase{"CloseImage", &FakeFileSystem::failClose, "out.hex"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(DriverTest, OpensAllThreeFilesBeforeAnyCheck) {
  files.failOpen = {"prog.asm", "out.hex"};
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(files.opensForRead, 1);
  EXPECT_EQ(files.opensForWrite, 2);
  EXPECT_EQ(files.files.count("temp.txt"), 1u);
}

TEST_F(DriverTest, ReopenFailureLeavesIntermediateAndEmptyImage) {
  files.files["prog.asm"] = "hlt\n";
  struct ReopenFails : FileSystem {
    FakeFileSystem& inner;
    int reads = 0;
    explicit ReopenFails(FakeFileSystem& fs) : inner(fs) {}
    std::unique_ptr<ByteSource> openRead(const std::string& name) override {
      return ++reads == 2 ? nullptr : inner.openRead(name);
    }
    std::unique_ptr<ByteSink> openWrite(const std::string& name) override {
      return inner.openWrite(name);
    }
  } reopenFails(files);
  const std::array<const char*, 1> arguments = {"prog.asm"};
  EXPECT_EQ(runAssembler(arguments, Build::full, reopenFails, console), 1);
  EXPECT_EQ(console.text(), "file error\n");
  EXPECT_EQ(files.files["temp.txt"], "hlt \n");
  EXPECT_EQ(files.files["out.hex"], "");
}

}  // namespace
}  // namespace quellmark
