// The design of the editor's windows in one place: geometry in twips as the
// design gives it, the system colours, and the texts of the windows.
#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>
#include <string_view>

#include "pattern_document.h"

namespace tarnwick {

// The program's own texts, kept once with the document's rules.
inline QString fromText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Geometry is kept in twips and converted to the screen only when it is
// shown, at 15 twips per device-independent pixel.
inline constexpr int kTwipsPerPixel = 15;

struct Twips {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Pixels of a length or position in twips, rounded to the nearest.
constexpr int toPixels(int twips) {
  return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                    : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}
inline QRect toPixels(const Twips& t) {
  return {toPixels(t.left), toPixels(t.top), toPixels(t.width), toPixels(t.height)};
}

// The system colours the editor uses, from the standard desktop scheme of
// the platform it was designed on, so that it looks the same everywhere.
enum class SystemColour { titleText = 9, buttonFace = 15, buttonShadow = 16, light3d = 22 };
QColor systemColour(SystemColour index);

// ---- from1, the main window -------------------------------------------
inline constexpr int kCells = 200;
inline constexpr int kColumns = 4;
inline constexpr int kRows = 50;

inline constexpr int kClientWidth = 7635;
inline constexpr int kClientHeight = 6525;
inline constexpr Twips kFrame1{360, 240, 6735, 5895};
inline constexpr Twips kVScroll1{6120, 360, 255, 5295};
inline constexpr int kScrollMaximum = 300;
inline constexpr int kTwipsPerScrollUnit = 50;

// Cell i at scroll position 0, inside Frame1.
constexpr Twips cellDesign(int i) {
  return {840 + 1200 * (i % kColumns), 360 + 360 * (i / kColumns), 1095, 255};
}

struct ScaleMark {
  const char* caption;
  int labelTop;  // Label1(i), inside Frame1, at scroll position 0
  int lineY;     // both end points of Line2(i)
};
// By index: index 5 is the top mark.
inline constexpr std::array<ScaleMark, 6> kMarks = {{
    {"40", 3840, 3930},
    {"30", 7440, 7530},
    {"20", 11040, 11100},
    {"10", 14640, 14730},
    {"0", 18240, 18330},
    {"50", 240, 330},
}};
inline constexpr int kLabelLeft = 360;
inline constexpr int kLabelSize = 255;
inline constexpr int kLine2Left = 600;
inline constexpr int kLine2Right = 6000;
// Line1(1), in the window's client area; it never moves.
inline constexpr int kLine1X = 0;
inline constexpr int kLine1Top = 0;
inline constexpr int kLine1Bottom = 5760;

inline const QColor kOnColour{0x80, 0xFF, 0x80};  // &H80FF80
inline constexpr SystemColour kOffColour = SystemColour::titleText;

inline const QString kTitle = fromText(kTitleText);
inline const QString kFilter = QStringLiteral("Pattern Files (*.ptn)|*.ptn| All Files(*.*|*.*");

// ---- Dialog, the message window ---------------------------------------
inline constexpr int kDialogWidth = 5700;
inline constexpr int kDialogHeight = 1665;
inline constexpr Twips kImage1{120, 120, 1320, 1350};
inline constexpr Twips kDialogText1{1800, 240, 3495, 495};
inline constexpr Twips kDialogOk{1800, 960, 1215, 375};
inline constexpr Twips kCanButton{3480, 960, 1455, 375};
inline const QString kDialogCaption = QStringLiteral("Dialog Caption");

inline const QString kSaveQuestion = fromText(kSaveQuestionText);
inline const QString kNoChanges = fromText(kNoChangesText);
inline const QString kSavedNotice = fromText(kSavedNoticeText);
inline const QString kSaveFailed = fromText(kSaveFailedText);
inline const QString kOpenFailed = fromText(kOpenFailedText);

// ---- Dialog1, the about window ----------------------------------------
inline constexpr int kAboutWidth = 7680;
inline constexpr int kAboutHeight = 7110;
inline const QString kAboutCaption = QStringLiteral("Group Members");

struct AboutText {
  const char* name;
  Twips place;
  SystemColour background;
  const char* text;
};
inline constexpr std::array<AboutText, 6> kAboutTexts = {{
    {"Text3", {1920, 120, 4095, 375}, SystemColour::light3d, "The Quellmark tool set"},
    {"Text1_0", {1440, 2760, 1815, 375}, SystemColour::buttonFace, "The assembler"},
    {"Text2_0", {4920, 2760, 1815, 375}, SystemColour::buttonFace, "The pattern editor"},
    {"Text1_1", {1320, 5760, 1815, 375}, SystemColour::buttonFace, "Pattern files"},
    {"Text2_1", {5400, 5880, 1815, 375}, SystemColour::buttonFace, "The random fill"},
    {"Text4", {5160, 6720, 2295, 285}, SystemColour::buttonFace, "Made for light patterns"},
}};

struct AboutPicture {
  const char* name;
  Twips place;
  const char* resource;
};
inline constexpr std::array<AboutPicture, 4> kAboutPictures = {{
    {"Picture1", {1080, 720, 2055, 1815}, ":/tarnwick/assembler.jpg"},
    {"Picture2", {3840, 600, 3015, 2175}, ":/tarnwick/editor.jpg"},
    {"Picture3", {720, 3480, 2895, 2055}, ":/tarnwick/files.jpg"},
    {"Picture4", {4320, 3240, 2895, 2535}, ":/tarnwick/random.jpg"},
}};
inline constexpr Twips kAboutOk{3240, 6240, 1215, 375};
inline constexpr const char* kImage1Resource = ":/tarnwick/image1.gif";

}  // namespace tarnwick
