// Open, Save and Save As with a scripted file dialog and real files.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>

#include "design.h"
#include "fixtures.h"
#include "ptn_format.h"

namespace tarnwick {
namespace {

using testing_support::EditorTest;

class FileCommandsTest : public EditorTest {
 protected:
  QByteArray bytesOf(const Cells& cells) {
    const std::string bytes = encodePattern(cells);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }
  QString noticeText() const { return message() ? message()->text1()->text() : QString(); }
  bool noticeShown() const { return message() && message()->isVisible(); }
  void dismissNotice() const {
    if (message() && message()->isVisible()) message()->okButton()->click();
  }
};

TEST_F(FileCommandsTest, FilterEntriesGoToTheDialogAsTheyStand) {
  const QList<FilterEntry> entries = {{"Pattern Files (*.ptn)", "*.ptn"}, {" All Files(*.*", "*.*"}};
  EXPECT_EQ(filterEntries(kFilter), entries);
  files->answers = {"", ""};
  window->Open();
  EXPECT_EQ(files->Filter(), kFilter);
  EXPECT_EQ(files->lastEntries, entries);
  window->SaveAs();
  EXPECT_EQ(files->lastEntries, entries);
}

TEST(FilterEntries, OddFilters) {
  EXPECT_TRUE(filterEntries("").isEmpty());
  EXPECT_TRUE(filterEntries("Only a description").isEmpty());
  EXPECT_EQ(filterEntries("A|*.a|B||C|*.c|D"),
            (QList<FilterEntry>{{"A", "*.a"}, {"C", "*.c"}}));
}

// The platform's file dialog shows each description exactly and matches
// each pattern.
TEST(QtFileDialog, ShowsTheDescriptionsAndMatchesThePatterns) {
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  QtCommonDialog::offer(dialog, filterEntries(kFilter));
  auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  ASSERT_EQ(types->count(), 2);
  EXPECT_EQ(types->itemText(0), "Pattern Files (*.ptn)");
  EXPECT_EQ(types->itemText(1), " All Files(*.*");
  auto* model = dialog.findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->nameFilters(), QStringList{"*.ptn"});
  types->setCurrentIndex(1);
  emit types->activated(1);
  EXPECT_EQ(model->nameFilters(), QStringList{"*.*"});
  EXPECT_EQ(types->itemText(1), " All Files(*.*");
}

TEST_F(FileCommandsTest, RealDialogCancelledLeavesNoName) {
  QtCommonDialog real(window.get());
  real.setFilter(kFilter);
  QStringList shown;
  whenAsked([&shown] {
    auto* open = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(open, nullptr);
    auto* types = open->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    for (int i = 0; i < types->count(); ++i) shown << types->itemText(i);
    open->reject();
  });
  real.ShowOpen();
  EXPECT_EQ(shown, QStringList({"Pattern Files (*.ptn)", " All Files(*.*"}));
  EXPECT_TRUE(real.FileName().isEmpty());
}

TEST_F(FileCommandsTest, FirstSaveAsksForANameAndShowsNoMessage) {
  window->cellClick(0);
  files->answers = {path("a.ptn")};
  window->Save();
  EXPECT_EQ(files->asked, std::vector<QString>{"save"});
  EXPECT_EQ(contents(path("a.ptn")), QByteArray(96, '0') + "1000" + QByteArray(32, '0') + "\r\n");
  EXPECT_EQ(window->curfile(), path("a.ptn"));
  EXPECT_EQ(window->saved(), -1);
  EXPECT_EQ(window->windowTitle(), "Quellmark (" + path("a.ptn") + ")");
  EXPECT_EQ(message(), nullptr);
}

TEST_F(FileCommandsTest, SaveWithAFileReportsWhatItDid) {
  files->answers = {path("b.ptn")};
  window->SaveAs();
  window->Save();
  EXPECT_TRUE(noticeShown());
  EXPECT_EQ(noticeText(), "No changes detected");
  EXPECT_FALSE(message()->cancelButton()->isVisible());
  dismissNotice();
  window->cellClick(199);
  window->Save();
  EXPECT_EQ(noticeText(), "File is successfully saved");
  EXPECT_EQ(contents(path("b.ptn")), "0080" + QByteArray(128, '0') + "\r\n");
  EXPECT_EQ(window->saved(), -1);
  EXPECT_EQ(files->asked.size(), 1u);
}

TEST_F(FileCommandsTest, CancelledDialogsChangeNothing) {
  window->cellClick(1);
  files->answers = {"", "", ""};
  window->Save();
  window->SaveAs();
  window->Open();
  EXPECT_EQ(window->saved(), 0);
  EXPECT_TRUE(window->curfile().isEmpty());
  EXPECT_TRUE(window->isOn(1));
  EXPECT_EQ(window->windowTitle(), "Quellmark");
  EXPECT_EQ(message(), nullptr);
}

TEST_F(FileCommandsTest, NameLeftFromAnEarlierUseNeverCounts) {
  files->answers = {path("c.ptn")};
  window->SaveAs();
  window->cellClick(2);
  files->answers = {""};
  window->SaveAs();
  EXPECT_TRUE(files->FileName().isEmpty());
  EXPECT_EQ(window->saved(), 0);
}

TEST_F(FileCommandsTest, OpenReplacesEveryCellAndKeepsSaved) {
  Cells stored{};
  stored[193] = stored[10] = true;
  write(path("d.ptn"), bytesOf(stored));
  window->cellClick(50);  // unsaved work, which Open does not ask about
  files->answers = {path("d.ptn")};
  window->Open();
  EXPECT_EQ(window->cells(), stored);
  EXPECT_EQ(window->curfile(), path("d.ptn"));
  EXPECT_EQ(window->windowTitle(), "Quellmark (" + path("d.ptn") + ")");
  EXPECT_EQ(window->saved(), 0);
  // Save now writes the opened grid back.
  write(path("d.ptn"), "garbage");
  window->Save();
  EXPECT_EQ(noticeText(), "File is successfully saved");
  EXPECT_EQ(contents(path("d.ptn")), bytesOf(stored));
}

TEST_F(FileCommandsTest, SaveRightAfterOpenOfASavedDocumentWritesNothing) {
  write(path("e.ptn"), "f0");
  files->answers = {path("e.ptn")};
  window->Open();
  EXPECT_EQ(window->saved(), -1);
  window->Save();
  EXPECT_EQ(noticeText(), "No changes detected");
  EXPECT_EQ(contents(path("e.ptn")), "f0");
}

TEST_F(FileCommandsTest, SaveAsAlwaysWrites) {
  files->answers = {path("f.ptn"), path("g.ptn")};
  window->SaveAs();
  window->SaveAs();
  EXPECT_EQ(contents(path("g.ptn")), QByteArray(132, '0') + "\r\n");
  EXPECT_EQ(window->curfile(), path("g.ptn"));
  window->cellClick(4);
  window->Save();
  EXPECT_EQ(noticeText(), "File is successfully saved");
  EXPECT_EQ(contents(path("g.ptn")).left(100), QByteArray(96, '0') + "0010");
}

struct OddFile {
  const char* name;
  QByteArray bytes;
  Cells cells;
};

TEST_F(FileCommandsTest, OddFilesReadAsTheirRowPositionsSay) {
  Cells row48col0{};
  row48col0[192] = true;
  const OddFile cases[] = {
      {"empty", "", Cells{}},
      {"upper", QByteArray("F0").repeated(50), Cells{}},
      {"short", "1", row48col0},
      {"noLineEnd", "1" + QByteArray(131, '0'), row48col0},
  };
  for (const OddFile& c : cases) {
    SCOPED_TRACE(c.name);
    window->setCells([] {
      Cells on;
      on.fill(true);
      return on;
    }());
    write(path(c.name), c.bytes);
    files->answers = {path(c.name)};
    window->Open();
    EXPECT_EQ(window->cells(), c.cells);
    EXPECT_EQ(window->windowTitle(), "Quellmark (" + path(c.name) + ")");
  }
}

TEST_F(FileCommandsTest, TenMegabytesOfRandomBytesOpen) {
  QByteArray noise(10 * 1024 * 1024, '\0');
  quint32 x = 1;
  for (char& c : noise) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
  write(path("noise.ptn"), noise);
  files->answers = {path("noise.ptn")};
  window->Open();
  EXPECT_EQ(window->cells(), decodePattern(std::string_view(noise.constData(), 100)));
}

TEST_F(FileCommandsTest, FailedSaveKeepsEverythingAndSaysSo) {
  window->cellClick(9);
  const QString missing = path("no-such-folder/x.ptn");
  files->answers = {missing};
  window->Save();
  EXPECT_TRUE(noticeShown());
  EXPECT_EQ(noticeText(), "File could not be saved");
  EXPECT_FALSE(message()->cancelButton()->isVisible());
  EXPECT_EQ(window->saved(), 0);
  EXPECT_TRUE(window->curfile().isEmpty());
  EXPECT_EQ(window->windowTitle(), "Quellmark");
}

TEST_F(FileCommandsTest, FailedSaveNeverDamagesTheFileOnDisk) {
  // A folder where the file should be: the save fails, the folder stays.
  QDir(dir.path()).mkdir("taken.ptn");
  files->answers = {path("taken.ptn")};
  window->SaveAs();
  EXPECT_EQ(noticeText(), "File could not be saved");
  EXPECT_TRUE(QFileInfo(path("taken.ptn")).isDir());
  // An existing file is replaced whole or not at all: no temporary is left.
  write(path("h.ptn"), "old");
  files->answers = {path("h.ptn")};
  window->SaveAs();
  EXPECT_EQ(contents(path("h.ptn")), QByteArray(132, '0') + "\r\n");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"h.ptn"}));
}

TEST_F(FileCommandsTest, UnreadableFileChangesNothingAndSaysSo) {
  window->cellClick(20);
  QDir(dir.path()).mkdir("folder.ptn");
  for (const QString& name : {path("missing.ptn"), path("folder.ptn")}) {
    SCOPED_TRACE(name.toStdString());
    files->answers = {name};
    window->Open();
    EXPECT_EQ(noticeText(), "File could not be opened");
    EXPECT_TRUE(window->isOn(20));
    EXPECT_TRUE(window->curfile().isEmpty());
    EXPECT_EQ(window->saved(), 0);
    EXPECT_EQ(window->windowTitle(), "Quellmark");
    dismissNotice();
  }
}

// The file named on the command line is opened exactly as Open would.
TEST_F(FileCommandsTest, OpenfileActsAsOpenWithThatName) {
  Cells stored{};
  stored[0] = stored[77] = stored[199] = true;
  write(path("start.ptn"), bytesOf(stored));
  window->openfile(path("start.ptn"));
  EXPECT_TRUE(files->asked.empty());
  EXPECT_EQ(window->cells(), stored);
  EXPECT_EQ(window->curfile(), path("start.ptn"));
  EXPECT_EQ(window->windowTitle(), "Quellmark (" + path("start.ptn") + ")");
  EXPECT_EQ(window->saved(), -1);
  EXPECT_EQ(message(), nullptr);
  window->openfile(path("absent.ptn"));
  EXPECT_EQ(noticeText(), "File could not be opened");
  EXPECT_EQ(window->curfile(), path("start.ptn"));
  EXPECT_EQ(window->cells(), stored);
}

}  // namespace
}  // namespace tarnwick
