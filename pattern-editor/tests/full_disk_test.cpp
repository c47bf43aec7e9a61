// Saves onto a filesystem that is really full or really read-only: a tiny
// tmpfs mounted for the test. Mounting needs root (CI runs as root);
// elsewhere the tests skip and say why.
#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include "design.h"
#include "fixtures.h"
#include "ptn_format.h"

namespace tarnwick {
namespace {

using testing_support::EditorTest;

bool run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == 0;
}

class FullDiskTest : public EditorTest {
 protected:
  void SetUp() override {
    disk = path("disk");
    ASSERT_TRUE(QDir().mkpath(disk));
    if (!run("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", disk})) {
      GTEST_SKIP() << "cannot mount a 16 KiB tmpfs here (mounting needs root)";
    }
    mounted = true;
    Cells stored{};
    stored[0] = stored[123] = true;
    const std::string bytes = encodePattern(stored);
    old = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    write(onDisk("old.ptn"), old);
  }

  void TearDown() override {
    if (mounted) {
      EXPECT_TRUE(run("umount", {disk}));
    }
  }

  QString onDisk(const QString& name) const { return QDir(disk).filePath(name); }

  // Takes every free byte of the filesystem with one more file.
  void fill() const {
    QFile filler(onDisk("filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(512, 'x');
    while (filler.write(block) == block.size()) {
    }
  }

  void makeReadOnly() const { ASSERT_TRUE(run("mount", {"-o", "remount,ro", disk})); }

  // Opens old.ptn and makes a change, so that Save has work to write.
  void openAndChange() {
    files->answers = {onDisk("old.ptn")};
    window->Open();
    ASSERT_EQ(window->curfile(), onDisk("old.ptn"));
    window->cellClick(7);
  }

  // The save failed as a user must see it: the notice with OK only, the file
  // as it was, no temporary file left, the work still unsaved.
  void expectFailedSave(const QStringList& filesLeft) {
    Dialog* d = message();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->text1()->text(), "File could not be saved");
    EXPECT_FALSE(d->cancelButton()->isVisible());
    EXPECT_EQ(contents(onDisk("old.ptn")), old);
    EXPECT_EQ(QDir(disk).entryList(QDir::Files | QDir::Hidden, QDir::Name), filesLeft);
    EXPECT_EQ(window->saved(), 0);
    EXPECT_TRUE(window->isOn(7));
  }

  QString disk;
  bool mounted = false;
  QByteArray old;
};

TEST_F(FullDiskTest, SaveOnAFullDiskKeepsTheFile) {
  openAndChange();
  fill();
  window->Save();
  expectFailedSave({"filler", "old.ptn"});
  EXPECT_EQ(window->curfile(), onDisk("old.ptn"));
  EXPECT_EQ(window->windowTitle(), "Quellmark (" + onDisk("old.ptn") + ")");
}

TEST_F(FullDiskTest, SaveAsOnAFullDiskKeepsTheFileAndTheName) {
  openAndChange();
  fill();
  for (const QString& name : {onDisk("old.ptn"), onDisk("new.ptn")}) {
    SCOPED_TRACE(name.toStdString());
    files->answers = {name};
    window->SaveAs();
    expectFailedSave({"filler", "old.ptn"});
    EXPECT_EQ(window->curfile(), onDisk("old.ptn"));
    EXPECT_EQ(window->windowTitle(), "Quellmark (" + onDisk("old.ptn") + ")");
    message()->okButton()->click();
  }
}

TEST_F(FullDiskTest, SaveInsideNewOnAFullDiskKeepsTheWork) {
  openAndChange();
  const Cells work = window->cells();
  fill();
  files->answers = {onDisk("old.ptn")};
  whenAsked([this] { message()->okButton()->click(); });
  window->New();
  expectFailedSave({"filler", "old.ptn"});
  EXPECT_EQ(window->cells(), work);
  EXPECT_EQ(window->curfile(), onDisk("old.ptn"));
}

TEST_F(FullDiskTest, SaveIntoAReadOnlyFolderKeepsTheFile) {
  openAndChange();
  makeReadOnly();
  window->Save();
  expectFailedSave({"old.ptn"});
  message()->okButton()->click();
  files->answers = {onDisk("other.ptn")};
  window->SaveAs();
  expectFailedSave({"old.ptn"});
}

TEST_F(FullDiskTest, SaveWorksAgainOnceThereIsRoom) {
  openAndChange();
  fill();
  window->Save();
  message()->okButton()->click();
  ASSERT_TRUE(QFile::remove(onDisk("filler")));
  window->Save();
  EXPECT_EQ(message()->text1()->text(), "File is successfully saved");
  EXPECT_EQ(window->saved(), -1);
  EXPECT_EQ(decodePattern(contents(onDisk("old.ptn")).toStdString()), window->cells());
  EXPECT_EQ(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList{"old.ptn"});
}

// A target whose final replacement fails: another file bind-mounted over
// it, which the rename of the finished temporary file cannot replace
// (EBUSY). Mounting needs root, as above.
TEST_F(EditorTest, SaveWhoseLastRenameFailsKeepsTheFileAndTheWork) {
  const QString target = path("old.ptn");
  const QString cover = path("cover");
  Cells stored{};
  stored[5] = true;
  const std::string bytes = encodePattern(stored);
  const QByteArray old(bytes.data(), static_cast<qsizetype>(bytes.size()));
  write(target, old);
  write(cover, "cover");
  files->answers = {target};
  window->Open();
  window->cellClick(9);
  if (!run("mount", {"--bind", cover, target})) {
    GTEST_SKIP() << "cannot bind-mount a file here (mounting needs root)";
  }
  window->Save();
  const bool unmounted = run("umount", {target});
  Dialog* d = message();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->text1()->text(), "File could not be saved");
  ASSERT_TRUE(unmounted);
  EXPECT_EQ(contents(target), old);
  EXPECT_EQ(contents(cover), "cover");
  EXPECT_EQ(QDir(path("")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            (QStringList{"cover", "old.ptn"}));
  EXPECT_EQ(window->saved(), 0);
  EXPECT_EQ(window->windowTitle(), "Quellmark (" + target + ")");
}

}  // namespace
}  // namespace tarnwick
