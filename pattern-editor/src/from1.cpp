#include "from1.h"

#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>

#include "design.h"
#include "dialogs.h"
#include "ptn_format.h"

namespace tarnwick {

namespace {

void setBackground(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// A level or upright line of the design's default colour and width, its
// ends in twips, both drawn: a one-pixel fill, which costs far less than a
// stroked line.
void drawLine(QPainter& painter, int x1, int y1, int x2, int y2) {
  const QPoint from(toPixels(x1), toPixels(y1));
  const QPoint to(toPixels(x2), toPixels(y2));
  painter.fillRect(QRect(from, to).normalized(), Qt::black);
}

// The client area below the menu bar, with the vertical line Line1(1).
class ClientArea final : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    drawLine(painter, kLine1X, kLine1Top, kLine1X, kLine1Bottom);
  }
};

constexpr int kLayerHeight = 18600;  // below the "0" line at 18330
constexpr int kLayerWidth = 6100;    // left of VScroll1 at 6120

}  // namespace

PatternLayer::PatternLayer(QWidget* parent) : QWidget(parent) {
  colours_.fill(systemColour(kOffColour));
  // Opaque, so that a scroll moves what is on screen and paints only the
  // strip that comes into view.
  setBackground(this, systemColour(SystemColour::buttonShadow));
}

QRect PatternLayer::cellRect(int index) {
  return toPixels(cellDesign(index));
}

int PatternLayer::cellAt(QPoint point) {
  for (int i = 0; i < kCells; ++i) {
    if (cellRect(i).contains(point)) return i;
  }
  return -1;
}

void PatternLayer::setColour(int index, const QColor& colour) {
  QColor& stored = colours_[static_cast<std::size_t>(index)];
  if (colour == stored) return;
  stored = colour;
  update(cellRect(index));
}

void PatternLayer::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  // A cell is a black box filled inside with its colour: two solid fills
  // are far cheaper than an outline.
  for (int i = 0; i < kCells; ++i) {
    const QRect cell = cellRect(i);
    if (!event->rect().intersects(cell)) continue;
    painter.fillRect(cell, Qt::black);
    painter.fillRect(cell.adjusted(1, 1, -1, -1), colour(i));
  }
  for (const ScaleMark& mark : kMarks) {
    drawLine(painter, kLine2Left, mark.lineY, kLine2Right, mark.lineY);
  }
}

void PatternLayer::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton ? cellAt(event->position().toPoint()) : -1;
  QWidget::mousePressEvent(event);
}

void PatternLayer::mouseReleaseEvent(QMouseEvent* event) {
  const int released = cellAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && released >= 0 && released == pressed_) {
    emit clicked(released);
  }
  pressed_ = -1;
  QWidget::mouseReleaseEvent(event);
}

From1::From1(std::unique_ptr<CommonDialog> dialog, std::unique_ptr<RandomSource> random)
    : cdb_(std::move(dialog)), random_(std::move(random)) {
  setObjectName(QStringLiteral("from1"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  createControls();
  createMenus();
  load();
}

From1::~From1() = default;

void From1::createControls() {
  auto* client = new ClientArea(this);
  client->setFixedSize(toPixels(kClientWidth), toPixels(kClientHeight));
  setCentralWidget(client);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  Frame1 = new QFrame(client);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Frame1->setGeometry(toPixels(kFrame1));
  setBackground(Frame1, systemColour(SystemColour::buttonShadow));

  layer_ = new PatternLayer(Frame1);
  layer_->setGeometry(0, 0, toPixels(kLayerWidth), toPixels(kLayerHeight));
  connect(layer_, &PatternLayer::clicked, this, &From1::cellClick);
  for (int i = 0; i < kCells; ++i) cellTop_[static_cast<std::size_t>(i)] = cellDesign(i).top;
  for (std::size_t i = 0; i < kMarks.size(); ++i) {
    auto* label = new QLabel(QString::fromLatin1(kMarks[i].caption), layer_);
    label->setObjectName(QStringLiteral("Label1_%1").arg(i));
    label->setGeometry(toPixels(Twips{kLabelLeft, kMarks[i].labelTop, kLabelSize, kLabelSize}));
    setBackground(label, systemColour(SystemColour::buttonShadow));
    Label1[i] = label;
    labelTop_[i] = kMarks[i].labelTop;
    lineY1_[i] = kMarks[i].lineY;
    lineY2_[i] = kMarks[i].lineY;
  }

  VScroll1 = new QScrollBar(Qt::Vertical, Frame1);
  VScroll1->setObjectName(QStringLiteral("VScroll1"));
  VScroll1->setGeometry(toPixels(kVScroll1));
  VScroll1->setRange(0, kScrollMaximum);
  VScroll1->setSingleStep(1);
  VScroll1->setPageStep(1);
  // The change event and the scroll event of a drag both run applyscroll.
  connect(VScroll1, &QScrollBar::valueChanged, this, &From1::applyscroll);
  connect(VScroll1, &QScrollBar::sliderMoved, this, &From1::applyscroll);
}

void From1::createMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  file->setObjectName(QStringLiteral("file"));
  const auto add = [this](QWidget* menu, const char* name, const QString& caption,
                          void (From1::*command)()) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, command);
    menu->addAction(action);
  };
  add(file, "New", QStringLiteral("New"), &From1::New);
  add(file, "Open", QStringLiteral("Open"), &From1::Open);
  add(file, "Save", QStringLiteral("Save"), &From1::Save);
  add(file, "SaveAs", QStringLiteral("Save As"), &From1::SaveAs);
  add(menuBar(), "about", QStringLiteral("About"), &From1::about);
  add(menuBar(), "Random", QStringLiteral("Randomize!"), &From1::Random);
}

// The load step: the window opens scrolled to the bottom of the grid.
void From1::load() {
  lastpos_ = 0;
  document_.load();
  showTitle();
  VScroll1->setValue(kScrollMaximum);  // raises the change event
  applyscroll();
}

void From1::applyscroll() {
  const int p = VScroll1->sliderPosition();
  // The difference of two positions within 0 to 300 always fits 16 bits.
  const auto d = static_cast<std::int16_t>(lastpos_ - p);
  lastpos_ = VScroll1->sliderPosition();
  if (d == 0) return;
  const int offset = kTwipsPerScrollUnit * d;
  for (int& top : cellTop_) top += offset;
  for (std::size_t i = 0; i < kMarks.size(); ++i) {
    labelTop_[i] += offset;
    lineY1_[i] += offset;
    lineY2_[i] += offset;
  }
  layer_->move(0, toPixels(cellTop_[0] - cellDesign(0).top));
}

std::pair<int, int> From1::lineEnds(int index) const {
  return {lineY1_[static_cast<std::size_t>(index)], lineY2_[static_cast<std::size_t>(index)]};
}

void From1::showTitle() {
  setWindowTitle(QString::fromStdString(document_.title()));
}

QRect From1::cellGeometry(int index) const {
  return PatternLayer::cellRect(index).translated(layer_->pos());
}

bool From1::isOn(int index) const {
  return cellColour(index) == kOnColour;
}

Cells From1::cells() const {
  Cells states{};
  for (int i = 0; i < kCells; ++i) states[static_cast<std::size_t>(i)] = isOn(i);
  return states;
}

void From1::setCells(const Cells& states) {
  for (int i = 0; i < kCells; ++i) {
    layer_->setColour(i, states[static_cast<std::size_t>(i)] ? kOnColour : systemColour(kOffColour));
  }
}

void From1::cellClick(int index) {
  document_.change();
  const bool off = cellColour(index) == systemColour(kOffColour);
  layer_->setColour(index, off ? kOnColour : systemColour(kOffColour));
}

void From1::clearGrid() {
  setCells(Cells{});
}

void From1::resetit() {
  document_.reset();
  showTitle();
}

bool From1::savefile(const QString& name) {
  const std::string bytes = encodePattern(cells());
  QSaveFile file(name);
  if (!file.open(QIODevice::WriteOnly)) return false;
  // The bytes sit in the file's buffer until the flush, and a full disk is
  // noticed only there; a temporary file that did not take every byte must
  // never replace the target. Left uncommitted, it is removed.
  const bool written = file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
                           static_cast<qint64>(bytes.size()) &&
                       file.flush() && file.error() == QFileDevice::NoError;
  if (!written) {
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) return false;
  document_.written(name.toStdString());
  showTitle();
  return true;
}

Dialog& From1::messageDialog() {
  if (!dialog_) dialog_ = new Dialog(*this);
  return *dialog_;
}

void From1::notice(const QString& text) {
  messageDialog().showNotice(text);
}

QString From1::askSaveName() {
  cdb_->setFilter(kFilter);
  cdb_->ShowSave();
  return cdb_->FileName();
}

// Unsaved work is offered for saving first; the grid is cleared unless the
// question was abandoned or the save failed, so no work is lost unasked.
void From1::New() {
  if (document_.newAsks()) {
    const Dialog::Answer answer = messageDialog().askToSave();
    if (answer == Dialog::Answer::abandoned) return;
    if (answer == Dialog::Answer::saveFailed) {
      notice(kSaveFailed);
      return;
    }
  }
  clearGrid();
  resetit();
}

void From1::Open() {
  cdb_->setFilter(kFilter);
  cdb_->ShowOpen();
  const QString name = cdb_->FileName();
  if (name.isEmpty()) return;
  openfile(name);
}

// A file that cannot be read changes nothing; `saved` stays as it was.
void From1::openfile(const QString& name) {
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) {
    notice(kOpenFailed);
    return;
  }
  // Only the first 100 characters carry rows.
  const QByteArray bytes = file.read(100);
  if (file.error() != QFileDevice::NoError) {
    notice(kOpenFailed);
    return;
  }
  document_.opened(name.toStdString());
  showTitle();
  setCells(
      decodePattern(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

void From1::Save() {
  switch (document_.saveStep()) {
    case SaveStep::askName:
      SaveAs();
      return;
    case SaveStep::nothingChanged:
      notice(kNoChanges);
      return;
    case SaveStep::write:
      break;
  }
  if (!savefile(curfile())) {
    notice(kSaveFailed);
    return;
  }
  notice(kSavedNotice);
}

// Writes whatever `saved` says; no message follows a save that worked.
void From1::SaveAs() {
  const QString name = askSaveName();
  if (name.isEmpty()) return;
  if (!savefile(name)) {
    notice(kSaveFailed);
    return;
  }
  document_.named(name.toStdString());
}

void From1::about() {
  hide();
  if (!about_) about_ = new Dialog1(*this);
  about_->show();
}

void From1::Random() {
  Cells states = cells();
  randomFill(states, *random_);
  setCells(states);
  document_.change();
}

void From1::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closed();
}

}  // namespace tarnwick
