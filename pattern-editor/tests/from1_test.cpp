#include "from1.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>

#include "design.h"
#include "fixtures.h"

namespace tarnwick {
namespace {

using testing_support::EditorTest;

class From1Test : public EditorTest {
 protected:
  // Every scrolled control stands 50 twips per unit of `position` above its
  // design place.
  void expectScrolledTo(int position) {
    const int offset = -kTwipsPerScrollUnit * position;
    EXPECT_EQ(window->lastpos(), position);
    for (int i = 0; i < kCells; ++i) {
      ASSERT_EQ(window->cellTop(i), cellDesign(i).top + offset) << "cell " << i;
    }
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(window->labelTop(i), kMarks[static_cast<std::size_t>(i)].labelTop + offset);
      const int y = kMarks[static_cast<std::size_t>(i)].lineY + offset;
      EXPECT_EQ(window->lineEnds(i), std::make_pair(y, y));
    }
  }
  // A control is in view when it overlaps the viewport's height.
  static bool inView(int top, int height) { return top < kFrame1.height && top + height > 0; }

  QAction* action(const char* name) {
    return window->findChild<QAction*>(QString::fromLatin1(name));
  }
};

TEST_F(From1Test, OpensScrolledToTheBottomOfTheGrid) {
  EXPECT_EQ(window->scrollBar()->value(), 300);
  expectScrolledTo(300);
  EXPECT_EQ(window->labelTop(4), 3240);  // the "0" mark
  EXPECT_EQ(window->lineEnds(4).first, 3330);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(inView(window->labelTop(i), kLabelSize), i == 4) << "mark " << i;
  }
  // Rows 41 to 49 in full, the lower 15 twips of row 40.
  EXPECT_EQ(window->cellTop(4 * 40) + 255, 15);
  EXPECT_GE(window->cellTop(4 * 41), 0);
  EXPECT_LE(window->cellTop(4 * 49) + 255, kFrame1.height);
}

TEST_F(From1Test, DesignPositionsAtTheTop) {
  window->scrollBar()->setValue(0);
  expectScrolledTo(0);
  EXPECT_EQ(window->labelTop(5), 240);
  EXPECT_EQ(window->lineEnds(5).first, 330);
  EXPECT_EQ(window->cellTop(0), 360);
  EXPECT_EQ(window->lineEnds(2).first, 11100);  // the "20" line, 60 above row 30
  EXPECT_EQ(window->labelTop(0), 3840);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(inView(window->labelTop(i), kLabelSize), i == 5 || i == 0) << "mark " << i;
  }
  // Row 15 shows its upper 135 twips.
  EXPECT_EQ(kFrame1.height - window->cellTop(4 * 15), 135);
}

TEST_F(From1Test, ArrowAndTrackMoveOneUnit) {
  window->scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  expectScrolledTo(299);
  window->scrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
  expectScrolledTo(298);
  window->scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  expectScrolledTo(299);
}

TEST_F(From1Test, ThumbDragFromBottomToTopEndsAtDesignPositions) {
  QScrollBar* bar = window->scrollBar();
  bar->setSliderDown(true);
  for (int position = 300; position >= 0; position -= 7) bar->setSliderPosition(position);
  bar->setSliderPosition(0);
  bar->setSliderDown(false);
  expectScrolledTo(0);
  // The change event at the end finds nothing to do.
  window->applyscroll();
  expectScrolledTo(0);
}

TEST_F(From1Test, EventWithNothingToDoMovesNothing) {
  window->applyscroll();
  window->applyscroll();
  expectScrolledTo(300);
}

TEST_F(From1Test, ScreenPositionFollowsTheTwips) {
  for (const int position : {0, 1, 2, 3, 150, 299, 300}) {
    window->scrollBar()->setValue(position);
    for (const int i : {0, 1, 77, 198}) {
      const int screenTop = window->patternLayer()->mapTo(window->findChild<QFrame*>("Frame1"),
                                                          PatternLayer::cellRect(i).topLeft()).y();
      EXPECT_EQ(screenTop, window->cellGeometry(i).top());
      EXPECT_NEAR(screenTop, window->cellTop(i) / 15.0, 1.0) << position << " cell " << i;
    }
  }
}

TEST_F(From1Test, WindowGeometryAndCaption) {
  EXPECT_EQ(window->windowTitle(), "Quellmark");
  EXPECT_EQ(window->centralWidget()->size(), QSize(509, 435));
  EXPECT_EQ(window->findChild<QFrame*>("Frame1")->geometry(), QRect(24, 16, 449, 393));
  EXPECT_EQ(window->scrollBar()->geometry(), QRect(408, 24, 17, 353));
  EXPECT_EQ(window->scrollBar()->minimum(), 0);
  EXPECT_EQ(window->scrollBar()->maximum(), 300);
  EXPECT_EQ(window->scrollBar()->singleStep(), 1);
  EXPECT_EQ(window->scrollBar()->pageStep(), 1);
  EXPECT_EQ(window->cellGeometry(5).size(), QSize(73, 17));
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
}

TEST_F(From1Test, SystemColours) {
  EXPECT_EQ(window->findChild<QFrame*>("Frame1")->palette().color(QPalette::Window),
            QColor(128, 128, 128));
  EXPECT_EQ(window->cellColour(0), QColor(255, 255, 255));
  EXPECT_EQ(window->findChild<QLabel*>("Label1_2")->text(), "20");
  EXPECT_EQ(window->findChild<QLabel*>("Label1_5")->text(), "50");
}

TEST_F(From1Test, MenuCaptionsInOrderWithoutShortcuts) {
  QStringList captions;
  for (QAction* top : window->menuBar()->actions()) {
    captions << top->text();
    if (top->menu()) {
      for (QAction* item : top->menu()->actions()) {
        captions << "  " + item->text();
        EXPECT_FALSE(item->isSeparator());
        EXPECT_TRUE(item->shortcut().isEmpty());
      }
    }
  }
  EXPECT_EQ(captions,
            QStringList({"File", "  New", "  Open", "  Save", "  Save As", "About", "Randomize!"}));
}

TEST_F(From1Test, ClickTogglesAndMarksChanged) {
  EXPECT_EQ(window->saved(), -1);
  window->scrollBar()->setValue(0);
  const QPoint inCell5 = PatternLayer::cellRect(5).center();
  QTest::mouseClick(window->patternLayer(), Qt::LeftButton, {}, inCell5);
  EXPECT_TRUE(window->isOn(5));
  EXPECT_EQ(window->cellColour(5), QColor(0x80, 0xFF, 0x80));
  EXPECT_EQ(window->saved(), 0);
  QTest::mouseClick(window->patternLayer(), Qt::LeftButton, {}, inCell5);
  EXPECT_FALSE(window->isOn(5));
  EXPECT_EQ(window->saved(), 0);
  EXPECT_EQ(window->windowTitle(), "Quellmark");
  EXPECT_TRUE(window->curfile().isEmpty());
}

TEST_F(From1Test, OnlyAPressAndReleaseInOneCellToggles) {
  window->scrollBar()->setValue(0);
  PatternLayer* layer = window->patternLayer();
  // Between cells 0 and 1, and between rows 0 and 1.
  const QPoint gaps[] = {{PatternLayer::cellRect(0).right() + 3, PatternLayer::cellRect(0).center().y()},
                         {PatternLayer::cellRect(0).center().x(), PatternLayer::cellRect(0).bottom() + 3}};
  for (const QPoint gap : gaps) QTest::mouseClick(layer, Qt::LeftButton, {}, gap);
  QTest::mousePress(layer, Qt::LeftButton, {}, PatternLayer::cellRect(1).center());
  QTest::mouseRelease(layer, Qt::LeftButton, {}, PatternLayer::cellRect(2).center());
  QTest::mouseClick(layer, Qt::RightButton, {}, PatternLayer::cellRect(3).center());
  EXPECT_EQ(window->cells(), Cells{});
  EXPECT_EQ(window->saved(), -1);
  // The last cell of the grid, scrolled into view.
  window->scrollBar()->setValue(300);
  QTest::mouseClick(layer, Qt::LeftButton, {}, PatternLayer::cellRect(199).center());
  EXPECT_TRUE(window->isOn(199));
}

TEST_F(From1Test, ResetitTouchesNoCell) {
  window->cellClick(3);
  window->cellClick(150);
  window->resetit();
  EXPECT_TRUE(window->isOn(3));
  EXPECT_TRUE(window->isOn(150));
  EXPECT_EQ(window->saved(), -1);
  EXPECT_EQ(window->windowTitle(), "Quellmark");
  window->clearGrid();
  EXPECT_EQ(window->cells(), Cells{});
}

TEST_F(From1Test, ScrollingChangesNoCellAndNotSaved) {
  window->cellClick(7);
  window->resetit();
  window->scrollBar()->setValue(10);
  EXPECT_EQ(window->saved(), -1);
  EXPECT_TRUE(window->isOn(7));
}

TEST_F(From1Test, RandomizeFillsByTheRulesAndMarksChanged) {
  action("Random")->trigger();
  EXPECT_EQ(window->saved(), 0);
  const Cells first = window->cells();
  EXPECT_NE(first, Cells{});
  // The same first fill at every start.
  From1 again(std::make_unique<testing_support::ScriptedDialog>(),
              std::make_unique<FixedSeedRandom>());
  again.Random();
  EXPECT_EQ(again.cells(), first);
  // And a fill on the same window continues the sequence.
  action("Random")->trigger();
  EXPECT_NE(window->cells(), first);
}

}  // namespace
}  // namespace tarnwick
