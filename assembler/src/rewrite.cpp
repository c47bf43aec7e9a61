#include "rewrite.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "line_index.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quellmark {

namespace fs = std::filesystem;

namespace {

std::string cannot(const std::string& what, const std::string& name, const std::string& why) {
  return "cannot " + what + " '" + name + "': " + why;
}

// Writes `text` to the new file `path` and flushes it to the disk.
std::optional<std::string> writeWhole(const fs::path& path, std::string_view text) {
  errno = 0;
  std::FILE* file = std::fopen(path.string().c_str(), "wbx");
  if (!file) return std::string(std::strerror(errno ? errno : EIO));
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  int error = written ? 0 : errno;
  written = written && std::fflush(file) == 0;
  if (!written && error == 0) error = errno;
#if defined(_WIN32)
  written = written && ::_commit(::_fileno(file)) == 0;
#else
  written = written && ::fsync(::fileno(file)) == 0;
#endif
  if (!written && error == 0) error = errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written) return std::nullopt;
  return std::string(std::strerror(error ? error : EIO));
}

}  // namespace

std::optional<std::string> rewriteFile(const std::string& name, std::string_view text) {
  std::error_code error;
  const fs::path target = fs::canonical(name, error);
  if (error) return cannot("open", name, error.message());
  const fs::file_status status = fs::status(target, error);
  if (error) return cannot("open", name, error.message());
  if (status.type() != fs::file_type::regular) return "'" + name + "' is not a regular file: it is left as it is";
  if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) {
    return "'" + name + "' is read-only: it is left as it is";
  }
  // Beside the file, so that the rename stays on its file system.
  fs::path temporary;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = target;
    temporary += ".quellmark-" + std::to_string(attempt) + ".tmp";
    if (!fs::exists(temporary, error)) break;
  }
  if (const std::optional<std::string> why = writeWhole(temporary, text)) {
    fs::remove(temporary, error);
    return cannot("write", name, *why);
  }
  fs::permissions(temporary, status.permissions(), error);
  if (!error) fs::rename(temporary, target, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return cannot("write", name, error.message());
  }
  return std::nullopt;
}

std::string unifiedDiff(std::string_view name, std::string_view source, std::vector<Edit> edits) {
  constexpr std::uint32_t kContext = 3;
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < source.size();) {
    const std::size_t feed = source.find('\n', at);
    const std::size_t end = feed == std::string_view::npos ? source.size() : feed + 1;
    lines.push_back(source.substr(at, end - at));
    at = end;
  }
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
    return a.at.line != b.at.line ? a.at.line < b.at.line : a.at.column < b.at.column;
  });
  // Each changed line (from 0) with the lines it becomes.
  std::vector<std::pair<std::uint32_t, std::string>> changed;
  for (std::size_t i = 0; i < edits.size();) {
    const std::uint32_t line = edits[i].at.line;
    std::vector<Edit> ofLine;
    for (; i < edits.size() && edits[i].at.line == line; ++i) {
      ofLine.push_back(edits[i]);
      ofLine.back().at.line = 1;
    }
    if (line == 0 || line > lines.size()) continue;
    std::string after = applyEdits(lines[line - 1], ofLine);
    if (after != lines[line - 1]) changed.emplace_back(line - 1, std::move(after));
  }
  if (changed.empty()) return {};
  std::string out = "--- a/" + std::string(name) + "\n+++ b/" + std::string(name) + "\n";
  const auto put = [&out](char mark, std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
      const std::size_t feed = text.find('\n', at);
      const std::size_t end = feed == std::string_view::npos ? text.size() : feed + 1;
      out += mark;
      out.append(text.substr(at, end - at));
      if (feed == std::string_view::npos) out += "\n\\ No newline at end of file\n";
      at = end;
    }
  };
  const auto count = [](std::string_view text) {
    return static_cast<std::uint32_t>(std::count(text.begin(), text.end(), '\n') + (text.ends_with('\n') ? 0 : 1));
  };
  std::int64_t shift = 0;  // lines the hunks before have added
  for (std::size_t i = 0; i < changed.size();) {
    // One hunk: changes whose contexts meet.
    std::size_t last = i;
    while (last + 1 < changed.size() && changed[last + 1].first - changed[last].first <= 2 * kContext) ++last;
    const std::uint32_t from = changed[i].first > kContext ? changed[i].first - kContext : 0;
    const std::uint32_t to =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(lines.size()), changed[last].first + kContext + 1);
    std::string body;
    std::swap(out, body);
    std::uint32_t newCount = 0;
    std::size_t next = i;
    for (std::uint32_t line = from; line < to; ++line) {
      if (next <= last && changed[next].first == line) {
        put('-', lines[line]);
        put('+', changed[next].second);
        newCount += count(changed[next].second);
        ++next;
      } else {
        put(' ', lines[line]);
        ++newCount;
      }
    }
    std::swap(out, body);
    const std::uint32_t oldCount = to - from;
    out += "@@ -" + std::to_string(oldCount ? from + 1 : from) + "," + std::to_string(oldCount) + " +" +
           std::to_string(static_cast<std::int64_t>(from) + 1 + shift) + "," + std::to_string(newCount) + " @@\n";
    out += body;
    shift += static_cast<std::int64_t>(newCount) - oldCount;
    i = last + 1;
  }
  return out;
}

}  // namespace quellmark
