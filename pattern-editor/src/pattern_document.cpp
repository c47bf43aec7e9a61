#include "pattern_document.h"

namespace tarnwick {

std::string PatternDocument::titleFor(std::string_view file) {
  std::string title(kTitleText);
  if (!file.empty()) {
    title += " (";
    title += file;
    title += ')';
  }
  return title;
}

void PatternDocument::load() {
  saved_ = kTrue;
  title_ = titleFor(curfile_);
}

void PatternDocument::reset() {
  saved_ = kTrue;
  curfile_.clear();
  title_ = titleFor(curfile_);
}

void PatternDocument::written(std::string_view name) {
  saved_ = kTrue;
  title_ = titleFor(name);
}

void PatternDocument::opened(std::string name) {
  curfile_ = std::move(name);
  title_ = titleFor(curfile_);
}

SaveStep PatternDocument::saveStep() const {
  if (curfile_.empty()) return SaveStep::askName;
  return saved_ == kFalse ? SaveStep::write : SaveStep::nothingChanged;
}

}  // namespace tarnwick
