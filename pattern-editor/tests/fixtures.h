// Shared fixtures of the editor's tests: a scripted file dialog, a
// scripted random source, and a main window built with them.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "common_dialog.h"
#include "dialogs.h"
#include "from1.h"

namespace tarnwick::testing_support {

// Answers each ShowOpen or ShowSave with the next scripted name ("" is a
// cancel) and records what was asked.
class ScriptedDialog final : public CommonDialog {
 public:
  std::deque<QString> answers;
  std::vector<QString> asked;  // "open" or "save", in order
  QList<FilterEntry> lastEntries;

 protected:
  QString chooseOpen(const QList<FilterEntry>& entries) override { return answer("open", entries); }
  QString chooseSave(const QList<FilterEntry>& entries) override { return answer("save", entries); }

 private:
  QString answer(const char* kind, const QList<FilterEntry>& entries) {
    asked.emplace_back(QString::fromLatin1(kind));
    lastEntries = entries;
    if (answers.empty()) return {};
    QString name = answers.front();
    answers.pop_front();
    return name;
  }
};

// Hands out scripted numbers, then 0.
class ScriptedRandom final : public RandomSource {
 public:
  std::deque<float> numbers;
  int drawn = 0;
  float next() override {
    ++drawn;
    if (numbers.empty()) return 0.0f;
    const float x = numbers.front();
    numbers.pop_front();
    return x;
  }
};

class EditorTest : public testing::Test {
 protected:
  EditorTest() {
    auto dialog = std::make_unique<ScriptedDialog>();
    files = dialog.get();
    window = std::make_unique<From1>(std::move(dialog), std::make_unique<FixedSeedRandom>());
    window->show();
  }

  QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
  QByteArray contents(const QString& name) const {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
  }
  void write(const QString& name, const QByteArray& bytes) const {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  // Runs `step` once the next modal wait has begun (or right away when
  // nothing waits), the way a user answers a question.
  static void whenAsked(std::function<void()> step) { QTimer::singleShot(0, std::move(step)); }
  Dialog* message() const { return window->existingMessageDialog(); }

  QTemporaryDir dir;
  ScriptedDialog* files = nullptr;
  std::unique_ptr<From1> window;
};

}  // namespace tarnwick::testing_support
