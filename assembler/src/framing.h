// The framing of the language server protocol: each message is a header of
// lines ending in an empty one, with its Content-Length, then the body.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "build.h"
#include "streams.h"

namespace quellmark {

// Reads framed messages from a stream: headers ending in an empty line,
// then as many bytes as Content-Length says.
class MessageReader {
 public:
  explicit MessageReader(ByteSource& in) : in_(in) {}
  struct Message {
    std::string body;
    bool badHeader = false;  // its header had no valid Content-Length
  };
  // The next message, or nothing at the end of the input.
  std::optional<Message> next();
  // Whether bytes of a further message have come already.
  [[nodiscard]] bool waiting() const;

 private:
  bool fill();
  ByteSource& in_;
  std::string buffer_;
  std::size_t at_ = 0;
  bool ended_ = false;
};

// A message body with its header.
std::string framed(std::string_view body);

// Serves the messages of `in` on `out` until `exit` or the end of the
// input; the exit status.
int serveLanguage(ByteSource& in, ByteSink& out, Build build);

}  // namespace quellmark
