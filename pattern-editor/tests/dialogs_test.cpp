// The message window, New, the about window and the end of the program.
#include "dialogs.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "design.h"
#include "fixtures.h"
#include "ptn_format.h"

namespace tarnwick {
namespace {

using testing_support::EditorTest;

class DialogsTest : public EditorTest {
 protected:
  // Starts New and answers its question with `answer` once it is shown,
  // noting whether the question was up with the work still in the grid.
  void newAnswering(std::function<void(Dialog&)> answer) {
    asked_ = false;
    whenAsked([this, answer] {
      Dialog* d = message();
      ASSERT_NE(d, nullptr);
      asked_ = d->isVisible() && d->isModal() && d->text1()->text() == "save unsaved work?" &&
               d->cancelButton()->isVisible() && workBefore_ == window->cells();
      answer(*d);
      // A question that the answer did not close would wait for ever.
      QTimer::singleShot(3000, d, [d] {
        if (!d->isVisible() || d->text1()->text() != "save unsaved work?") return;
        ADD_FAILURE() << "the question is still open";
        d->reject();
      });
    });
    workBefore_ = window->cells();
    window->New();
  }
  bool asked_ = false;
  Cells workBefore_{};
};

TEST_F(DialogsTest, LayoutCaptionsAndColours) {
  window->notice("No changes detected");
  Dialog* d = message();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->windowTitle(), "Dialog Caption");
  EXPECT_EQ(d->size(), QSize(380, 111));
  EXPECT_EQ(d->text1()->geometry(), QRect(120, 16, 233, 33));
  EXPECT_EQ(d->okButton()->geometry(), QRect(120, 64, 81, 25));
  EXPECT_EQ(d->cancelButton()->geometry(), QRect(232, 64, 97, 25));
  EXPECT_EQ(d->okButton()->text(), "OK");
  EXPECT_EQ(d->cancelButton()->text(), "cancel");
  EXPECT_EQ(d->text1()->palette().color(QPalette::Base), QColor(192, 192, 192));
  const QPixmap image = d->findChild<QLabel*>("Image1")->pixmap();
  EXPECT_EQ(image.size(), QSize(88, 90));
  EXPECT_FALSE(d->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST_F(DialogsTest, FirstMessageHidesTheMainWindowAndALaterOneDoesNot) {
  window->Save();  // no file: a cancelled Save dialog, no message
  EXPECT_EQ(message(), nullptr);
  files->answers = {path("p.ptn")};
  window->Save();
  window->Save();
  ASSERT_NE(message(), nullptr);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(message()->isVisible());
  message()->okButton()->click();
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(message()->isVisible());
  window->Save();
  EXPECT_TRUE(message()->isVisible());
  EXPECT_TRUE(window->isVisible());
}

TEST_F(DialogsTest, OkOnANoticeSavesNothing) {
  files->answers = {path("q.ptn")};
  window->SaveAs();
  window->Save();
  const std::size_t asks = files->asked.size();
  message()->okButton()->click();
  EXPECT_EQ(files->asked.size(), asks);
  EXPECT_EQ(window->curfile(), path("q.ptn"));
}

TEST_F(DialogsTest, OnlyTheExactQuestionMakesOkSave) {
  window->cellClick(0);
  newAnswering([this](Dialog& d) {
    d.text1()->setText("Save unsaved work?");
    d.okButton()->click();
  });
  EXPECT_TRUE(asked_);
  EXPECT_TRUE(files->asked.empty());
  EXPECT_EQ(window->cells(), Cells{});  // New goes on and clears
}

TEST_F(DialogsTest, NewAfterTwoClicksOnOneCellAsks) {
  window->cellClick(8);
  window->cellClick(8);
  newAnswering([](Dialog& d) { d.cancelButton()->click(); });
  EXPECT_TRUE(asked_);
  EXPECT_EQ(window->windowTitle(), "Quellmark");
  EXPECT_TRUE(window->isVisible());
}

TEST_F(DialogsTest, NewWithNothingUnsavedAsksNothing) {
  files->answers = {path("r.ptn")};
  window->cellClick(3);
  window->SaveAs();
  window->New();
  EXPECT_EQ(message(), nullptr);
  EXPECT_EQ(window->cells(), Cells{});
  EXPECT_EQ(window->windowTitle(), "Quellmark");
  EXPECT_TRUE(window->curfile().isEmpty());
  EXPECT_EQ(window->saved(), -1);
}

TEST_F(DialogsTest, OkOnTheQuestionSavesTheWorkThenNewClears) {
  window->cellClick(0);
  files->answers = {path("work.ptn")};
  newAnswering([](Dialog& d) { d.okButton()->click(); });
  EXPECT_TRUE(asked_);
  EXPECT_EQ(contents(path("work.ptn")),
            QByteArray(96, '0') + "1000" + QByteArray(32, '0') + "\r\n");
  EXPECT_EQ(window->cells(), Cells{});
  EXPECT_EQ(window->windowTitle(), "Quellmark");
  EXPECT_TRUE(window->curfile().isEmpty());
  EXPECT_EQ(window->saved(), -1);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(message()->isVisible());
}

TEST_F(DialogsTest, CancelledSaveDialogUnderTheQuestionSavesNothingAndClears) {
  window->cellClick(0);
  files->answers = {""};
  newAnswering([](Dialog& d) { d.okButton()->click(); });
  EXPECT_EQ(files->asked, std::vector<QString>{"save"});
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
  EXPECT_EQ(window->cells(), Cells{});
}

TEST_F(DialogsTest, CancelButtonIsShownAgainAfterANotice) {
  files->answers = {path("s.ptn")};
  window->SaveAs();
  window->Save();
  EXPECT_FALSE(message()->cancelButton()->isVisible());
  message()->okButton()->click();
  window->cellClick(1);
  newAnswering([](Dialog& d) { d.cancelButton()->click(); });
  EXPECT_TRUE(asked_);
}

TEST_F(DialogsTest, CloseBoxOrEscapeOnTheQuestionAbandonsNew) {
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "close box");
    window->cellClick(2);
    const Cells work = window->cells();
    newAnswering([escape](Dialog& d) {
      if (escape) {
        QTest::keyClick(&d, Qt::Key_Escape);
      } else {
        d.close();
      }
    });
    EXPECT_TRUE(asked_);
    EXPECT_EQ(window->cells(), work);
    EXPECT_EQ(window->saved(), 0);
    EXPECT_TRUE(files->asked.empty());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(message()->isVisible());
  }
}

TEST_F(DialogsTest, CloseBoxOnANoticeActsAsOk) {
  window->notice("File is successfully saved");
  EXPECT_FALSE(window->isVisible());
  message()->close();
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(message()->isVisible());
  EXPECT_TRUE(files->asked.empty());
}

TEST_F(DialogsTest, FailedSaveInsideNewKeepsTheWork) {
  window->cellClick(5);
  const Cells work = window->cells();
  files->answers = {path("missing-folder/w.ptn")};
  newAnswering([](Dialog& d) { d.okButton()->click(); });
  EXPECT_EQ(window->cells(), work);
  EXPECT_EQ(window->saved(), 0);
  EXPECT_TRUE(message()->isVisible());
  EXPECT_EQ(message()->text1()->text(), "File could not be saved");
  EXPECT_FALSE(message()->cancelButton()->isVisible());
  // Asking again still offers the save.
  message()->okButton()->click();
  newAnswering([](Dialog& d) { d.cancelButton()->click(); });
  EXPECT_TRUE(asked_);
}

// The key goes where a user's key goes: to the widget with the focus.
void pressKey(QWidget& window, Qt::Key key) {
  QWidget* focus = window.focusWidget();
  QTest::keyClick(focus ? focus : &window, key);
}

TEST_F(DialogsTest, EnterAnswersTheQuestionWithOk) {
  window->cellClick(4);
  const Cells work = window->cells();
  files->answers = {path("enter.ptn")};
  newAnswering([](Dialog& d) {
    EXPECT_TRUE(d.okButton()->isDefault());
    pressKey(d, Qt::Key_Return);
  });
  EXPECT_TRUE(asked_);
  EXPECT_EQ(files->asked, std::vector<QString>{"save"});
  EXPECT_EQ(decodePattern(contents(path("enter.ptn")).toStdString()), work);
  EXPECT_EQ(window->cells(), Cells{});
}

TEST_F(DialogsTest, EnterDismissesANoticeAndTheAboutWindow) {
  window->notice("No changes detected");
  ASSERT_TRUE(message()->okButton()->isDefault());
  pressKey(*message(), Qt::Key_Enter);
  EXPECT_FALSE(message()->isVisible());
  EXPECT_TRUE(window->isVisible());
  window->about();
  Dialog1* about = window->existingAboutDialog();
  ASSERT_TRUE(about->okButton()->isDefault());
  pressKey(*about, Qt::Key_Return);
  EXPECT_FALSE(about->isVisible());
  EXPECT_TRUE(window->isVisible());
}

TEST_F(DialogsTest, TheQuestionCannotBeTypedOver) {
  window->cellClick(6);
  files->answers = {path("typed.ptn")};
  bool untouched = false;
  newAnswering([&untouched](Dialog& d) {
    QLineEdit* text = d.text1();
    const bool selected = text->hasSelectedText();
    QTest::keyClicks(text, "x");
    QTest::keyClick(text, Qt::Key_Backspace);
    pressKey(d, Qt::Key_Delete);
    untouched = text->isReadOnly() && !selected && text->text() == "save unsaved work?";
    d.okButton()->click();
  });
  EXPECT_TRUE(untouched);
  // OK still read the question, so it saved.
  EXPECT_EQ(files->asked, std::vector<QString>{"save"});
  EXPECT_TRUE(QFile::exists(path("typed.ptn")));
}

TEST_F(DialogsTest, AboutHidesTheMainWindowAndOkBringsItBackUnchanged) {
  window->cellClick(0);
  window->scrollBar()->setValue(123);
  const Cells cells = window->cells();
  window->about();
  Dialog1* about = window->existingAboutDialog();
  ASSERT_NE(about, nullptr);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(about->windowTitle(), "Group Members");
  EXPECT_EQ(about->size(), QSize(512, 474));
  EXPECT_EQ(about->findChild<QLabel*>("Picture4")->pixmap().size(), QSize(193, 169));
  EXPECT_EQ(about->findChild<QLineEdit*>("Text3")->palette().color(QPalette::Base),
            QColor(223, 223, 223));
  // Its texts are shown, never edited: typing into each changes nothing.
  const QList<QLineEdit*> texts = about->findChildren<QLineEdit*>();
  EXPECT_FALSE(texts.isEmpty());
  for (QLineEdit* text : texts) {
    const QString before = text->text();
    EXPECT_TRUE(text->isReadOnly()) << text->objectName().toStdString();
    text->setFocus();
    QTest::keyClicks(text, "typed");
    QTest::keyClick(text, Qt::Key_Backspace);
    EXPECT_EQ(text->text(), before) << text->objectName().toStdString();
  }
  about->okButton()->click();
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(about->isVisible());
  EXPECT_EQ(window->cells(), cells);
  EXPECT_EQ(window->lastpos(), 123);
  EXPECT_EQ(window->windowTitle(), "Quellmark");
  // Its close box acts as OK.
  window->about();
  about->close();
  EXPECT_TRUE(window->isVisible());
}

TEST_F(DialogsTest, ClosingTheMainWindowEndsTheProgramWithoutAsking) {
  QSignalSpy ended(window.get(), &From1::closed);
  window->cellClick(0);
  files->answers = {path("t.ptn")};
  window->SaveAs();
  window->Save();  // a notice is open
  window->show();
  window->close();
  EXPECT_EQ(ended.count(), 1);
  EXPECT_TRUE(files->asked.size() == 1u);
}

}  // namespace
}  // namespace tarnwick
