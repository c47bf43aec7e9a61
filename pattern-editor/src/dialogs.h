// Dialog, the message window, and Dialog1, the about window. Both hide
// and show the main window around themselves and are never destroyed
// while the program runs.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnwick {

class From1;

class Dialog final : public QDialog {
  Q_OBJECT
 public:
  // The load step of the first use: it hides the main window.
  explicit Dialog(From1& owner);

  // How the save question ended.
  enum class Answer {
    saved,       // OK, and the work was written (or the file dialog cancelled)
    saveFailed,  // OK, but the chosen file could not be written
    dismissed,   // "cancel", or OK while Text1 held another text
    abandoned,   // the close box or Escape: the command is to stop
  };

  // A notice: `text` with OK only, shown without waiting.
  void showNotice(const QString& text);
  // The save question, shown modally; returns once it is answered.
  Answer askToSave();

  [[nodiscard]] QLineEdit* text1() const { return Text1; }
  [[nodiscard]] QPushButton* okButton() const { return OKButton; }
  [[nodiscard]] QPushButton* cancelButton() const { return canbutton; }

  // The close box and Escape: on the save question they abandon it, on a
  // notice they act as OK.
  void reject() override;

 private:
  void okClicked();
  void cancelClicked();
  void finish();

  From1& owner_;
  QLabel* Image1 = nullptr;
  QLineEdit* Text1 = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* canbutton = nullptr;
  bool asking_ = false;
  Answer answer_ = Answer::dismissed;
};

class Dialog1 final : public QDialog {
  Q_OBJECT
 public:
  explicit Dialog1(From1& owner);
  [[nodiscard]] QPushButton* okButton() const { return OKButton; }
  // The close box and Escape act as OK.
  void reject() override;

 private:
  From1& owner_;
  QPushButton* OKButton = nullptr;
};

}  // namespace tarnwick
