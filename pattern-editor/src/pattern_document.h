// The pattern document's rules without a window: the fields `saved` and
// `curfile`, the title they give, and what each command does to them. The
// editor keeps the cells in its grid's colours and these fields here; the
// page keeps both here, so that the two follow one set of rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "cells.h"

namespace tarnwick {

inline constexpr std::string_view kTitleText = "Quellmark";
inline constexpr std::string_view kSaveQuestionText = "save unsaved work?";
inline constexpr std::string_view kNoChangesText = "No changes detected";
inline constexpr std::string_view kSavedNoticeText = "File is successfully saved";
inline constexpr std::string_view kSaveFailedText = "File could not be saved";
inline constexpr std::string_view kOpenFailedText = "File could not be opened";

// What Save does with the document as it stands.
enum class SaveStep {
  askName,         // no file yet: Save As, with no message afterwards
  nothingChanged,  // nothing is written; "No changes detected"
  write,           // the grid goes to `curfile`; "File is successfully saved"
};

class PatternDocument {
 public:
  // The 16-bit boolean `saved`: -1 true, 0 false.
  static constexpr std::int16_t kTrue = -1;
  static constexpr std::int16_t kFalse = 0;

  [[nodiscard]] std::int16_t saved() const { return saved_; }
  [[nodiscard]] const std::string& curfile() const { return curfile_; }
  // The window title as it stands: "Quellmark", or "Quellmark (file)".
  [[nodiscard]] const std::string& title() const { return title_; }
  [[nodiscard]] static std::string titleFor(std::string_view file);

  // The window's load step: no changes, the title of `curfile`.
  void load();
  // A click on a cell or a random fill: the document is changed. Nothing
  // else moves; the title shows no mark of it.
  void change() { saved_ = kFalse; }
  // `resetit`: saved, no file, the bare title. The cells are not touched.
  void reset();
  // What `savefile` does once `name` holds the grid whole: saved, and the
  // title names `name`. `curfile` is its callers' business.
  void written(std::string_view name);
  // Save As (or the Save that asked for a name) after its write.
  void named(std::string name) { curfile_ = std::move(name); }
  // Open, once `name` was read: it becomes `curfile` and the title.
  // `saved` stays as it was, so that work not saved before the Open is
  // still offered for saving by New.
  void opened(std::string name);

  [[nodiscard]] SaveStep saveStep() const;
  // Whether New asks "save unsaved work?" first.
  [[nodiscard]] bool newAsks() const { return saved_ == kFalse; }

 private:
  std::int16_t saved_ = kTrue;
  std::string curfile_;
  std::string title_{kTitleText};
};

// A cell click's change of state: on becomes off, off becomes on.
inline void toggle(Cells& cells, std::size_t index) {
  cells[index] = !cells[index];
}

}  // namespace tarnwick
