#include "common_dialog.h"

#include <QFileDialog>
#include <QStringList>

namespace tarnwick {

void CommonDialog::ShowOpen() {
  fileName_.clear();
  fileName_ = chooseOpen(toQtFilter(filter_));
}

void CommonDialog::ShowSave() {
  fileName_.clear();
  fileName_ = chooseSave(toQtFilter(filter_));
}

QString toQtFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString& pattern = parts[i + 1];
    if (pattern.isEmpty()) continue;
    const QString suffix = QStringLiteral("(%1)").arg(pattern);
    entries << (description.endsWith(suffix) ? description
                                             : QStringLiteral("%1 %2").arg(description, suffix));
  }
  return entries.join(QStringLiteral(";;"));
}

QString QtCommonDialog::chooseOpen(const QString& qtFilter) {
  return QFileDialog::getOpenFileName(parent_, QString(), QString(), qtFilter);
}

QString QtCommonDialog::chooseSave(const QString& qtFilter) {
  return QFileDialog::getSaveFileName(parent_, QString(), QString(), qtFilter, nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

}  // namespace tarnwick
