#include "dialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include "design.h"
#include "from1.h"

namespace tarnwick {

namespace {

constexpr Qt::WindowFlags kFixedDialog = Qt::Dialog | Qt::CustomizeWindowHint |
                                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                         Qt::MSWindowsFixedSizeDialogHint;

QLineEdit* textBox(QWidget* parent, const char* name, const Twips& place, SystemColour colour) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(toPixels(place));
  QPalette palette = box->palette();
  palette.setColor(QPalette::Base, systemColour(colour));
  box->setPalette(palette);
  return box;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const Twips& place) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setGeometry(toPixels(place));
  b->setAutoDefault(false);
  return b;
}

QLabel* picture(QWidget* parent, const char* name, const Twips& place, const char* resource) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(toPixels(place));
  label->setPixmap(QPixmap(QString::fromLatin1(resource)));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

Dialog::Dialog(From1& owner) : QDialog(&owner, kFixedDialog), owner_(owner) {
  setObjectName(QStringLiteral("Dialog"));
  setWindowTitle(kDialogCaption);
  setFixedSize(toPixels(kDialogWidth), toPixels(kDialogHeight));
  Image1 = picture(this, "Image1", kImage1, kImage1Resource);
  Text1 = textBox(this, "Text1", kDialogText1, SystemColour::buttonFace);
  OKButton = button(this, "OKButton", QStringLiteral("OK"), kDialogOk);
  canbutton = button(this, "canbutton", QStringLiteral("cancel"), kCanButton);
  // The message is for reading: a keystroke must not change it (OK decides
  // by its text), and it takes no focus, so it never shows selected and
  // Enter reaches OK, the default button of both modes.
  Text1->setReadOnly(true);
  Text1->setFocusPolicy(Qt::NoFocus);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &Dialog::okClicked);
  connect(canbutton, &QPushButton::clicked, this, &Dialog::cancelClicked);
  owner_.hide();
}

void Dialog::showNotice(const QString& text) {
  Text1->setText(text);
  canbutton->hide();
  show();
}

Dialog::Answer Dialog::askToSave() {
  Text1->setText(kSaveQuestion);
  canbutton->show();
  asking_ = true;
  answer_ = Answer::dismissed;
  exec();
  asking_ = false;
  return answer_;
}

void Dialog::okClicked() {
  if (Text1->text() == kSaveQuestion) {
    const QString name = owner_.askSaveName();
    // The grid still holds the unsaved work here; a failed save keeps the
    // document as it is, so that the caller can stop before clearing it.
    if (!name.isEmpty() && !owner_.savefile(name)) {
      answer_ = Answer::saveFailed;
      finish();
      return;
    }
    owner_.resetit();
    answer_ = Answer::saved;
  }
  finish();
}

void Dialog::cancelClicked() {
  answer_ = Answer::dismissed;
  finish();
}

void Dialog::reject() {
  if (asking_) {
    answer_ = Answer::abandoned;
    finish();
    return;
  }
  okClicked();
}

void Dialog::finish() {
  hide();  // also ends the wait of the save question
  owner_.show();
}

Dialog1::Dialog1(From1& owner) : QDialog(&owner, kFixedDialog), owner_(owner) {
  setObjectName(QStringLiteral("Dialog1"));
  setWindowTitle(kAboutCaption);
  setFixedSize(toPixels(kAboutWidth), toPixels(kAboutHeight));
  for (const AboutPicture& p : kAboutPictures) picture(this, p.name, p.place, p.resource);
  for (const AboutText& t : kAboutTexts) {
    QLineEdit* box = textBox(this, t.name, t.place, t.background);
    box->setText(QString::fromUtf8(t.text));
    box->setReadOnly(true);
  }
  OKButton = button(this, "OKButton", QStringLiteral("OK"), kAboutOk);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &Dialog1::reject);
}

void Dialog1::reject() {
  hide();
  owner_.show();
}

}  // namespace tarnwick
