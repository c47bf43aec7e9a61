// from1, the main window: the pattern document, the scrolling grid with its
// row scale, the menu commands and the end of the program.
#pragma once

#include <QFrame>
#include <QMainWindow>
#include <array>
#include <cstdint>
#include <memory>

#include "cells.h"
#include "common_dialog.h"
#include "pattern_document.h"
#include "random_fill.h"

class QLabel;
class QScrollBar;

namespace tarnwick {

class Dialog;
class Dialog1;

// Everything that scrolls, at its design place: the 200 cells of the grid,
// each a framed box whose colour is its state, painted and clicked here;
// the lines of the row scale; and, as children, the scale's labels. The
// window moves the layer as a whole to where the record in twips puts it.
// One widget instead of one per cell keeps the start quick.
class PatternLayer final : public QWidget {
  Q_OBJECT
 public:
  explicit PatternLayer(QWidget* parent);
  [[nodiscard]] const QColor& colour(int index) const {
    return colours_[static_cast<std::size_t>(index)];
  }
  void setColour(int index, const QColor& colour);
  // Where cell `index` stands in the layer, in pixels.
  [[nodiscard]] static QRect cellRect(int index);

 signals:
  // A press and a release of the left button inside the same cell.
  void clicked(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The cell at `point`, or -1 between the cells.
  [[nodiscard]] static int cellAt(QPoint point);

  std::array<QColor, 200> colours_;
  int pressed_ = -1;
};

class From1 final : public QMainWindow {
  Q_OBJECT
 public:
  // `dialog` is CDB; `random` the generator of the random fill.
  From1(std::unique_ptr<CommonDialog> dialog, std::unique_ptr<RandomSource> random);
  ~From1() override;

  // ---- the document ----
  // The click on cell `index`: marks the document changed, then toggles.
  void cellClick(int index);
  // All cells off, index 0 to 199.
  void clearGrid();
  // A fresh identity: saved, no file, the title "Quellmark". Cells stay.
  void resetit();
  // Writes the grid to `name` through a temporary file that replaces it
  // only when complete; then marks the document saved and names the file
  // in the title. False, with nothing changed, when the file could not be
  // written. `curfile` is its callers' business.
  [[nodiscard]] bool savefile(const QString& name);

  [[nodiscard]] bool isOn(int index) const;
  [[nodiscard]] Cells cells() const;
  void setCells(const Cells& cells);
  // `saved` as the 16-bit boolean it is: -1 true, 0 false.
  [[nodiscard]] std::int16_t saved() const { return document_.saved(); }
  [[nodiscard]] QString curfile() const { return QString::fromStdString(document_.curfile()); }

  // ---- the menu commands ----
  void New();
  void Open();
  // What Open does once `name` is chosen: reads the file, then names it in
  // `curfile` and the title; a file that cannot be read changes nothing and
  // gives the notice "File could not be opened".
  void openfile(const QString& name);
  void Save();
  void SaveAs();
  void about();
  void Random();

  // ---- layout, in twips inside Frame1 ----
  // Brings cells, marks and lines into line with the scroll bar's position:
  // each moves by 50 twips for every unit the position changed since the
  // last time.
  void applyscroll();
  [[nodiscard]] int lastpos() const { return lastpos_; }
  [[nodiscard]] int cellTop(int index) const { return cellTop_[static_cast<std::size_t>(index)]; }
  [[nodiscard]] int labelTop(int index) const { return labelTop_[static_cast<std::size_t>(index)]; }
  // The y of the two end points of Line2(index).
  [[nodiscard]] std::pair<int, int> lineEnds(int index) const;
  [[nodiscard]] QScrollBar* scrollBar() const { return VScroll1; }
  [[nodiscard]] PatternLayer* patternLayer() const { return layer_; }
  // Where cell `index` stands in Frame1 now, in pixels.
  [[nodiscard]] QRect cellGeometry(int index) const;
  [[nodiscard]] const QColor& cellColour(int index) const { return layer_->colour(index); }

  // The message window, created and loaded at its first use.
  Dialog& messageDialog();
  [[nodiscard]] Dialog* existingMessageDialog() const { return dialog_; }
  [[nodiscard]] Dialog1* existingAboutDialog() const { return about_; }
  // Asks CDB, with the pattern filter, for a name to save under; empty when
  // the user cancelled.
  QString askSaveName();

  // Shows `text` in the message window with OK only, without waiting.
  void notice(const QString& text);

 signals:
  // The user closed the window: the program ends.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void createControls();
  void createMenus();
  void load();
  // The window title as the document gives it.
  void showTitle();

  std::unique_ptr<CommonDialog> cdb_;
  std::unique_ptr<RandomSource> random_;

  QFrame* Frame1 = nullptr;
  PatternLayer* layer_ = nullptr;  // the cells and everything else that scrolls
  std::array<QLabel*, 6> Label1{};
  QScrollBar* VScroll1 = nullptr;
  Dialog* dialog_ = nullptr;
  Dialog1* about_ = nullptr;

  // The record of where the scrolled controls stand, in twips.
  std::array<int, 200> cellTop_{};
  std::array<int, 6> labelTop_{};
  std::array<int, 6> lineY1_{};
  std::array<int, 6> lineY2_{};
  std::int32_t lastpos_ = 0;

  // `saved`, `curfile` and the title; the cells are the grid's colours.
  PatternDocument document_;
};

}  // namespace tarnwick
