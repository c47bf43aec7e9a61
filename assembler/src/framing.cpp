#include "framing.h"

#include <charconv>
#include <vector>

#include "language_server.h"

namespace quellmark {

bool MessageReader::fill() {
  if (ended_) return false;
  if (at_ > 0) {
    buffer_.erase(0, at_);
    at_ = 0;
  }
  char chunk[65536];
  const std::ptrdiff_t n = in_.read(chunk);
  if (n <= 0) {
    ended_ = true;
    return false;
  }
  buffer_.append(chunk, static_cast<std::size_t>(n));
  return true;
}

bool MessageReader::waiting() const {
  return buffer_.size() > at_ || (!ended_ && in_.ready());
}

std::optional<MessageReader::Message> MessageReader::next() {
  // The header: lines up to an empty one.
  std::size_t end = std::string::npos;
  while ((end = buffer_.find("\r\n\r\n", at_)) == std::string::npos) {
    // A header of more than 64 KiB is none: it is dropped and read anew.
    if (buffer_.size() - at_ > 65536) {
      at_ = buffer_.size() - 3;
      return Message{{}, true};
    }
    if (!fill()) return std::nullopt;
  }
  const std::string_view header(buffer_.data() + at_, end - at_);
  at_ = end + 4;
  std::optional<std::size_t> length;
  for (std::size_t line = 0; line < header.size();) {
    std::size_t stop = header.find("\r\n", line);
    if (stop == std::string_view::npos) stop = header.size();
    const std::string_view field = header.substr(line, stop - line);
    constexpr std::string_view kLength = "content-length:";
    if (field.size() > kLength.size()) {
      std::string name(field.substr(0, kLength.size()));
      for (char& c : name) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      if (name == kLength) {
        std::string_view value = field.substr(kLength.size());
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        std::size_t n = 0;
        const auto [ptr, error] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (error == std::errc() && ptr == value.data() + value.size() && n <= (std::size_t{1} << 30)) {
          length = n;
        }
      }
    }
    line = stop + 2;
  }
  if (!length) return Message{{}, true};
  while (buffer_.size() - at_ < *length) {
    if (!fill()) return std::nullopt;
  }
  Message message{buffer_.substr(at_, *length), false};
  at_ += *length;
  return message;
}

std::string framed(std::string_view body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

int serveLanguage(ByteSource& in, ByteSink& out, Build build) {
  LanguageServer server(build);
  MessageReader reader(in);
  std::vector<std::string> replies;
  const auto send = [&out, &replies] {
    for (const std::string& reply : replies) {
      if (!out.write(framed(reply))) return false;
    }
    return replies.empty() || out.flush();
  };
  while (const std::optional<MessageReader::Message> message = reader.next()) {
    replies.clear();
    // Changes that come in a burst are applied together and analysed once,
    // when no more are waiting.
    if (message->badHeader) {
      replies.push_back(LanguageServer::badHeader());
      if (!reader.waiting()) server.publish(replies);
    } else {
      server.receive(message->body, replies, reader.waiting());
    }
    if (!send()) return 1;
    if (server.exitStatus()) return *server.exitStatus();
  }
  replies.clear();
  server.publish(replies);
  if (!send()) return 1;
  // The end of the input ends the server as `exit` would.
  return server.shutDown() ? 0 : 1;
}

}  // namespace quellmark
