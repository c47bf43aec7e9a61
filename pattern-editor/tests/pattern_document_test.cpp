#include "pattern_document.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

struct Start {
  bool saved;
  std::string curfile;
};

// A document with `saved` and `curfile` as `start` says, reached through
// the commands a user has.
PatternDocument documentAt(const Start& start) {
  PatternDocument document;
  document.load();
  if (!start.curfile.empty()) document.opened(start.curfile);
  if (!start.saved) document.change();
  return document;
}

// What each event leaves, from every kind of start: the document's fields
// change only as the editor's table of events says.
TEST(PatternDocument, EveryEventFromEveryStart) {
  struct Event {
    const char* name;
    std::function<void(PatternDocument&)> apply;
    // `saved` afterwards: 1 true, 0 false, -1 unchanged.
    int saved;
    // `curfile` afterwards: nullptr unchanged.
    const char* curfile;
  };
  const std::vector<Event> events = {
      {"load", [](PatternDocument& d) { d.load(); }, 1, nullptr},
      {"click or fill", [](PatternDocument& d) { d.change(); }, 0, nullptr},
      {"open", [](PatternDocument& d) { d.opened("/p/b.ptn"); }, -1, "/p/b.ptn"},
      {"save as", [](PatternDocument& d) { d.written("/p/c.ptn"); d.named("/p/c.ptn"); }, 1, "/p/c.ptn"},
      {"resetit", [](PatternDocument& d) { d.reset(); }, 1, ""},
  };
  for (const Start& start : {Start{true, ""}, Start{false, ""}, Start{true, "/p/a.ptn"}, Start{false, "/p/a.ptn"}}) {
    for (const Event& event : events) {
      SCOPED_TRACE(std::string(event.name) + " from saved=" + std::to_string(start.saved) + " '" + start.curfile + "'");
      PatternDocument document = documentAt(start);
      event.apply(document);
      const bool saved = event.saved < 0 ? start.saved : event.saved == 1;
      const std::string curfile = event.curfile ? event.curfile : start.curfile;
      EXPECT_EQ(document.saved(), saved ? -1 : 0);
      EXPECT_EQ(document.curfile(), curfile);
      EXPECT_EQ(document.title(), curfile.empty() ? "Quellmark" : "Quellmark (" + curfile + ")");
      EXPECT_EQ(document.newAsks(), !saved);
      EXPECT_EQ(document.saveStep(), curfile.empty() ? SaveStep::askName
                                     : saved          ? SaveStep::nothingChanged
                                                      : SaveStep::write);
    }
  }
}

// `savefile` names its file in the title but leaves `curfile` to its
// callers: under the save question, the title shows the written file until
// `resetit` follows.
TEST(PatternDocument, AWriteNamesTheTitleNotTheFile) {
  PatternDocument document;
  document.opened("/p/a.ptn");
  document.change();
  document.written("/p/q.ptn");
  EXPECT_EQ(document.title(), "Quellmark (/p/q.ptn)");
  EXPECT_EQ(document.curfile(), "/p/a.ptn");
  EXPECT_EQ(document.saved(), -1);
  document.reset();
  EXPECT_EQ(document.title(), "Quellmark");
}

TEST(PatternDocument, AClickTogglesOneCell) {
  Cells cells{};
  toggle(cells, 199);
  EXPECT_TRUE(cells[199]);
  toggle(cells, 199);
  EXPECT_EQ(cells, Cells{});
}

}  // namespace
}  // namespace tarnwick
