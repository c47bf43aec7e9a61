// `quellmark lsp`: the companion in an editor, over the language server
// protocol (JSON-RPC 2.0 with Content-Length framing). A thin layer: each
// open document is analysed again on every change (an edit within one line
// by walking that line alone where the rest reads as before; see
// analysis.h), and the requests are answered from that analysis.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "build.h"
#include "framing.h"

namespace quellmark {

struct Analysis;

class LanguageServer {
 public:
  explicit LanguageServer(Build build);
  ~LanguageServer();
  LanguageServer(const LanguageServer&) = delete;
  LanguageServer& operator=(const LanguageServer&) = delete;

  // Handles the body of one message and appends the bodies of what the
  // server sends in turn (its response, notifications) to `out`. With
  // `more` (further messages are waiting), a changed document is analysed
  // and its diagnostics published only at the next request or `publish`.
  void receive(std::string_view body, std::vector<std::string>& out, bool more = false);
  // Analyses the documents changed since their last analysis and appends
  // their diagnostics to `out`.
  void publish(std::vector<std::string>& out);
  // The analysis of open document `uri` as it is now, its diagnostics
  // published to `out` first when it changed; none when it is not open.
  // For a face that shows more of the analysis than the protocol carries.
  [[nodiscard]] const Analysis* analysisOf(std::string_view uri, std::vector<std::string>& out);
  // The text of open document `uri`, or none.
  [[nodiscard]] const std::string* textOf(std::string_view uri) const;
  // Whether changed documents' diagnostics are published (they are unless
  // told otherwise). A face that draws the findings from `analysisOf`
  // spares the server writing a large text's megabytes of them.
  void setPublishing(bool publishing);
  // The answer to a message whose header could not be read.
  static std::string badHeader();

  // The exit status once `exit` has come: 0 after `shutdown`, else 1.
  [[nodiscard]] std::optional<int> exitStatus() const;
  // Whether `shutdown` has come.
  [[nodiscard]] bool shutDown() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quellmark
