// quellmark: explains what the silent assembler does with a source.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checker.h"
#include "disassembler.h"
#include "disk.h"
#include "fixes.h"
#include "format.h"
#include "language_server.h"
#include "line_index.h"
#include "listing.h"
#include "rewrite.h"

namespace {

using namespace quellmark;

constexpr std::string_view kUsage =
    "usage: quellmark check [--reduced] FILE...   diagnostics for each file\n"
    "       quellmark list [--reduced] FILE       every line with its addresses and words\n"
    "       quellmark symbols [--reduced] FILE    the symbol table as the assembler resolves it\n"
    "       quellmark dis IMAGE                   an out.hex image back to a source\n"
    "       quellmark fix [--reduced] [--dry-run] FILE...\n"
    "                                             applies every fix in place (--dry-run: the diff)\n"
    "       quellmark format [--check] [--reduced] FILE...\n"
    "                                             lays each file out in place (--check: names those\n"
    "                                             that would change, and exits with 1)\n"
    "       quellmark lsp [--reduced]             a language server on standard input and output\n"
    "FILE or IMAGE '-' is standard input.\n"
    "       quellmark --help | --version\n"
    "--reduced: as the reduced build `assembler` does; the default is `brennor`.\n";

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kTrouble = 2;

void toError(const std::string& message) {
  std::fputs(("quellmark: " + message + "\n").c_str(), stderr);
}

// Checks each file in turn; one that cannot be read is named on standard
// error and the others are still checked.
int check(const std::vector<std::string>& files, Build build, BufferedWriter& out) {
  int status = kClean;
  bool unreadable = false;
  for (const std::string& name : files) {
    const OpenedSource opened = openSource(name);
    const auto findings =
        opened.source ? checkSource(shownName(name), *opened.source, build, out) : std::nullopt;
    if (!findings) {
      out.flush();
      toError(opened.source ? "cannot read '" + shownName(name) + "'" : opened.problem);
      unreadable = true;
      continue;
    }
    if (*findings > 0) status = kFindings;
  }
  return unreadable ? kTrouble : status;
}

// The whole of a source, or nothing (with the reason said) when it cannot
// be read.
std::optional<std::string> readWhole(const std::string& name) {
  const OpenedSource opened = openSource(name);
  if (!opened.source) {
    toError(opened.problem);
    return std::nullopt;
  }
  std::string text(static_cast<std::size_t>(opened.source->size()), '\0');
  std::size_t at = 0;
  while (at < text.size()) {
    const std::ptrdiff_t n = opened.source->readAt(at, std::span(text).subspan(at));
    if (n <= 0) {
      toError("cannot read '" + shownName(name) + "'");
      return std::nullopt;
    }
    at += static_cast<std::size_t>(n);
  }
  return text;
}

// The whole of a source that a command may rewrite (when `rewrite`), or
// nothing, with `status` set to trouble: a file that is not regular is named
// on standard error and not read at all, so a pipe keeps its bytes.
std::optional<std::string> sourceToRewrite(const std::string& name, bool rewrite, int& status) {
  std::error_code error;
  const auto type = std::filesystem::status(name, error).type();
  if (rewrite && name != "-" && !error && type != std::filesystem::file_type::regular) {
    toError("'" + name + "' is not a regular file: it is left as it is");
    status = kTrouble;
    return std::nullopt;
  }
  // The bytes as they are, so that a rewrite keeps every line end; standard
  // input likewise.
  if (name == "-") standardInputAsIs();
  std::string problem;
  std::optional<std::string> text = name == "-" ? readWhole(name) : readBytes(name, problem);
  if (!problem.empty()) toError(problem);
  if (!text) status = kTrouble;
  return text;
}

// Lays each file out in place, or with `check` names those that would
// change. Standard input's text, laid out, goes to standard output.
int format(const std::vector<std::string>& files, Build build, bool check, BufferedWriter& out) {
  int status = kClean;
  for (const std::string& name : files) {
    const std::optional<std::string> text = sourceToRewrite(name, !check, status);
    if (!text) continue;
    const std::string laid = formatSource(*text, build);
    if (check) {
      if (laid != *text) {
        out.write(shownName(name) + "\n");
        if (status == kClean) status = kFindings;
      }
    } else if (name == "-") {
      out.flush();
      standardOutputAsIs();
      out.write(laid);
    } else if (laid != *text) {
      if (const std::optional<std::string> problem = rewriteFile(name, laid)) {
        out.flush();
        toError(*problem);
        status = kTrouble;
      }
    }
  }
  return status;
}

// Applies the fixes of each file in place; with `dryRun` prints their diff
// instead. Standard input's fixed text goes to standard output. A file that
// cannot be written whole is left as it was and named on standard error.
int fix(const std::vector<std::string>& files, Build build, bool dryRun, BufferedWriter& out) {
  int status = kClean;
  for (const std::string& name : files) {
    const std::optional<std::string> text = sourceToRewrite(name, !dryRun, status);
    if (!text) continue;
    std::vector<Edit> edits;
    std::size_t fixes = 0;
    for (const FoundFix& found : fixesOf(analyse(*text, build), *text, build)) {
      ++fixes;
      edits.insert(edits.end(), found.fix.edits.begin(), found.fix.edits.end());
    }
    if (dryRun) {
      out.write(unifiedDiff(shownName(name), *text, edits));
    } else if (name == "-") {
      out.flush();
      standardOutputAsIs();
      out.write(applyEdits(*text, edits));
    } else if (fixes > 0) {
      if (const std::optional<std::string> problem = rewriteFile(name, applyEdits(*text, edits))) {
        out.flush();
        toError(*problem);
        status = kTrouble;
        continue;
      }
      out.write(name + ": " + std::to_string(fixes) + (fixes == 1 ? " fix\n" : " fixes\n"));
    }
  }
  return status;
}

int list(const std::string& name, Build build, bool rows, BufferedWriter& out) {
  const OpenedSource opened = openSource(name);
  if (!opened.source) {
    toError(opened.problem);
    return kTrouble;
  }
  const bool read = rows ? writeListing(*opened.source, build, out)
                         : writeSymbolTable(*opened.source, build, out);
  if (!read) {
    out.flush();
    toError("cannot read '" + shownName(name) + "'");
    return kTrouble;
  }
  return kClean;
}

// Reads the image as it comes, keeping only its words, so that a pipe
// serves as well as a file.
int dis(const std::string& name, BufferedWriter& out) {
  std::FILE* file = stdin;
  if (name != "-") {
    errno = 0;
    file = std::fopen(name.c_str(), "rb");
    if (!file) {
      toError("cannot open '" + name + "': " + std::strerror(errno));
      return kTrouble;
    }
  }
  ImageReader reader;
  std::vector<char> chunk(std::size_t{1} << 16);
  std::size_t n = 0;
  errno = 0;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) reader.feed({chunk.data(), n});
  const int error = std::ferror(file) ? errno : 0;
  const bool failed = std::ferror(file);
  if (file != stdin) std::fclose(file);
  if (failed) {
    toError("cannot read '" + shownName(name) + "': " +
            (error ? std::strerror(error) : "read error"));
    return kTrouble;
  }
  const ImageWords image = reader.finish();
  if (image.badPosition) {
    toError(shownName(name) + ": position " + std::to_string(image.badPosition) + ": " +
            image.problem);
    return kTrouble;
  }
  writeDisassembly(image.words, out);
  return kClean;
}

int run(std::span<const char* const> arguments, BufferedWriter& out) {
  if (arguments.empty()) {
    std::fputs(std::string(kUsage).c_str(), stderr);
    return kTrouble;
  }
  const std::string_view command = arguments[0];
  if (command == "--help" || command == "-h") {
    out.write(kUsage);
    return kClean;
  }
  if (command == "--version") {
    out.write("quellmark " QUELLMARK_VERSION "\n");
    return kClean;
  }
  Build build = Build::full;
  bool dryRun = false;
  std::vector<std::string> files;
  for (const char* a : arguments.subspan(1)) {
    if (std::string_view(a) == "--reduced" && command != "dis") {
      build = Build::reduced;
    } else if (std::string_view(a) == "--dry-run" && command == "fix") {
      dryRun = true;
    } else if (std::string_view(a) == "--check" && command == "format") {
      dryRun = true;
    } else {
      files.emplace_back(a);
    }
  }
  if (command == "lsp" && files.empty()) {
    ConsoleSource in;
    ConsoleSink console;
    return serveLanguage(in, console, build);
  }
  if (std::count(files.begin(), files.end(), "-") > 1) {
    toError("standard input ('-') can be read only once");
    return kTrouble;
  }
  const bool one = files.size() == 1;
  if (command == "check" && !files.empty()) return check(files, build, out);
  if (command == "fix" && !files.empty()) return fix(files, build, dryRun, out);
  if (command == "format" && !files.empty()) return format(files, build, dryRun, out);
  if (command == "list" && one) return list(files[0], build, true, out);
  if (command == "symbols" && one) return list(files[0], build, false, out);
  if (command == "dis" && one) return dis(files[0], out);
  std::fputs(std::string(kUsage).c_str(), stderr);
  return kTrouble;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    ConsoleSink console;
    BufferedWriter out(console);
    const int status = run(programArguments(argc, argv), out);
    if (!out.close() && status != kTrouble) {
      toError("cannot write the output");
      return kTrouble;
    }
    return status;
  } catch (const std::bad_alloc&) {
    // Said without asking for memory.
    std::fflush(stdout);
    std::fputs("quellmark: out of memory\n", stderr);
    return kTrouble;
  }
}
