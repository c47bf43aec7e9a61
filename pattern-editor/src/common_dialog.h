// CDB: the file dialog of the main window, as the windows use it: set the
// Filter, ShowOpen or ShowSave, then read FileName. A cancelled dialog
// leaves FileName empty; a name from an earlier use never counts.
#pragma once

#include <QString>

class QWidget;

namespace tarnwick {

class CommonDialog {
 public:
  virtual ~CommonDialog() = default;

  void setFilter(const QString& filter) { filter_ = filter; }
  [[nodiscard]] const QString& Filter() const { return filter_; }
  void ShowOpen();
  void ShowSave();
  [[nodiscard]] const QString& FileName() const { return fileName_; }

 protected:
  // Ask the user for a file to open or to save; empty when cancelled.
  // `qtFilter` is the Filter in Qt's form.
  virtual QString chooseOpen(const QString& qtFilter) = 0;
  virtual QString chooseSave(const QString& qtFilter) = 0;

 private:
  QString filter_;
  QString fileName_;
};

// Turns a filter of "description|pattern" pairs, all separated by "|", into
// Qt's form, "description (pattern)" entries separated by ";;". A
// description that already ends in its pattern in parentheses is kept as
// it is; a pair without a pattern is dropped.
QString toQtFilter(const QString& filter);

// The platform's file dialogs: no title, no initial folder, no default
// extension, and no question before an existing file is replaced.
class QtCommonDialog final : public CommonDialog {
 public:
  explicit QtCommonDialog(QWidget* parent) : parent_(parent) {}

 protected:
  QString chooseOpen(const QString& qtFilter) override;
  QString chooseSave(const QString& qtFilter) override;

 private:
  QWidget* parent_;
};

}  // namespace tarnwick
