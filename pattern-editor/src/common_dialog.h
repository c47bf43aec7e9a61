// CDB: the file dialog of the main window, as the windows use it: set the
// Filter, ShowOpen or ShowSave, then read FileName. A cancelled dialog
// leaves FileName empty; a name from an earlier use never counts.
#pragma once

#include <QList>
#include <QString>

class QFileDialog;
class QWidget;

namespace tarnwick {

// One entry of a filter: what the dialog shows, and the files it matches.
struct FilterEntry {
  QString description;
  QString pattern;
  friend bool operator==(const FilterEntry&, const FilterEntry&) = default;
};

// The entries of a filter of "description|pattern" pairs, all separated by
// "|", each taken exactly as it stands; a pair without a pattern is dropped.
QList<FilterEntry> filterEntries(const QString& filter);

class CommonDialog {
 public:
  virtual ~CommonDialog() = default;

  void setFilter(const QString& filter) { filter_ = filter; }
  [[nodiscard]] const QString& Filter() const { return filter_; }
  void ShowOpen();
  void ShowSave();
  [[nodiscard]] const QString& FileName() const { return fileName_; }

 protected:
  // Ask the user for a file to open or to save, offering `entries`; empty
  // when cancelled.
  virtual QString chooseOpen(const QList<FilterEntry>& entries) = 0;
  virtual QString chooseSave(const QList<FilterEntry>& entries) = 0;

 private:
  QString filter_;
  QString fileName_;
};

// Qt's own file dialog, the same on every desktop, so that each entry of
// the filter is shown by its description exactly as the filter holds it:
// no title, no initial folder, no default extension, and no question before
// an existing file is replaced.
class QtCommonDialog final : public CommonDialog {
 public:
  explicit QtCommonDialog(QWidget* parent) : parent_(parent) {}

  // Gives `dialog` the entries: each matches its pattern and is shown by
  // its description. Public so that tests can look at a dialog prepared so.
  static void offer(QFileDialog& dialog, const QList<FilterEntry>& entries);

 protected:
  QString chooseOpen(const QList<FilterEntry>& entries) override;
  QString chooseSave(const QList<FilterEntry>& entries) override;

 private:
  QString choose(const QList<FilterEntry>& entries, bool save);
  QWidget* parent_;
};

}  // namespace tarnwick
