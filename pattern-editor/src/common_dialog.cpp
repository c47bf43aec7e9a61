#include "common_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QStringList>

namespace tarnwick {

void CommonDialog::ShowOpen() {
  fileName_.clear();
  fileName_ = chooseOpen(filterEntries(filter_));
}

void CommonDialog::ShowSave() {
  fileName_.clear();
  fileName_ = chooseSave(filterEntries(filter_));
}

QList<FilterEntry> filterEntries(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QList<FilterEntry> entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i + 1].isEmpty()) continue;
    entries.append({parts[i], parts[i + 1]});
  }
  return entries;
}

void QtCommonDialog::offer(QFileDialog& dialog, const QList<FilterEntry>& entries) {
  // Qt reads the patterns of an entry from the parentheses at its end, so
  // each entry is handed over with its pattern there; then the list shows
  // the descriptions as they stand (" All Files(*.*" would otherwise read
  // as the broken "All Files(*.* (*.*)").
  QStringList qtFilters;
  for (const FilterEntry& entry : entries) {
    qtFilters << QStringLiteral("%1 (%2)").arg(entry.description, entry.pattern);
  }
  dialog.setNameFilters(qtFilters);
  if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
    for (int i = 0; i < types->count() && i < entries.size(); ++i) {
      types->setItemText(i, entries[i].description);
    }
  }
}

QString QtCommonDialog::choose(const QList<FilterEntry>& entries, bool save) {
  QFileDialog dialog(parent_);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  offer(dialog, entries);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString QtCommonDialog::chooseOpen(const QList<FilterEntry>& entries) {
  return choose(entries, false);
}

QString QtCommonDialog::chooseSave(const QList<FilterEntry>& entries) {
  return choose(entries, true);
}

}  // namespace tarnwick
