// quellmark: explains what the silent assembler does with a source.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checker.h"
#include "disassembler.h"
#include "disk.h"
#include "listing.h"

namespace {

using namespace quellmark;

constexpr std::string_view kUsage =
    "usage: quellmark check [--reduced] FILE...   diagnostics for each file\n"
    "       quellmark list [--reduced] FILE       every line with its addresses and words\n"
    "       quellmark symbols [--reduced] FILE    the symbol table as the assembler resolves it\n"
    "       quellmark dis IMAGE                   an out.hex image back to a source\n"
    "       quellmark --help | --version\n"
    "--reduced: as the reduced build `assembler` does; the default is `brennor`.\n";

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kTrouble = 2;

void toError(const std::string& message) {
  std::fputs(("quellmark: " + message + "\n").c_str(), stderr);
}

// Why `name` cannot be opened or read, as the C library tells it.
std::string whyUnreadable(const std::string& name) {
  errno = 0;
  std::FILE* file = std::fopen(name.c_str(), "r");
  const char* verb = file ? "read" : "open";
  if (file) {
    char c = 0;
    (void)std::fread(&c, 1, 1, file);
    std::fclose(file);
  }
  const int error = errno;
  return std::string("cannot ") + verb + " '" + name + "': " +
         (error ? std::strerror(error) : "read error");
}

SourceOpener opener(const std::string& name) {
  return [name] { return DiskFileSystem().openRead(name); };
}

int check(const std::vector<std::string>& files, Build build, BufferedWriter& out) {
  int status = kClean;
  bool unreadable = false;
  for (const std::string& name : files) {
    const auto findings = checkSource(name, opener(name), build, out);
    if (!findings) {
      out.flush();
      toError(whyUnreadable(name));
      unreadable = true;
      continue;
    }
    if (*findings > 0) status = kFindings;
  }
  return unreadable ? kTrouble : status;
}

int list(const std::string& name, Build build, bool rows, BufferedWriter& out) {
  Walk walk(build);
  const SourceOpener open = opener(name);
  std::string text;
  const bool read =
      walk.collect(open) &&
      (!rows || walk.walk(open, [&](const SourceLine& line) {
        text.clear();
        appendListingRows(line, text);
        out.write(text);
      }));
  if (!read) {
    out.flush();
    toError(whyUnreadable(name));
    return kTrouble;
  }
  if (rows) out.write("\n");
  writeSymbols(walk, out);
  return kClean;
}

int dis(const std::string& name, BufferedWriter& out) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) {
    toError(whyUnreadable(name));
    return kTrouble;
  }
  std::string text;
  char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  const bool failed = std::ferror(file);
  std::fclose(file);
  if (failed) {
    toError(whyUnreadable(name));
    return kTrouble;
  }
  const ImageWords image = readImage(text);
  if (image.badPosition) {
    toError(name + ": position " + std::to_string(image.badPosition) + ": " + image.problem);
    return kTrouble;
  }
  out.write(disassemble(image.words));
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
  std::vector<std::string> files;
  for (const char* a : arguments.subspan(1)) {
    if (std::string_view(a) == "--reduced" && command != "dis") {
      build = Build::reduced;
    } else {
      files.emplace_back(a);
    }
  }
  const bool one = files.size() == 1;
  if (command == "check" && !files.empty()) return check(files, build, out);
  if (command == "list" && one) return list(files[0], build, true, out);
  if (command == "symbols" && one) return list(files[0], build, false, out);
  if (command == "dis" && one) return dis(files[0], out);
  std::fputs(std::string(kUsage).c_str(), stderr);
  return kTrouble;
}

}  // namespace

int main(int argc, char** argv) {
  ConsoleSink console;
  BufferedWriter out(console);
  const int status = run(programArguments(argc, argv), out);
  if (!out.close() && status != kTrouble) {
    toError("cannot write the output");
    return kTrouble;
  }
  return status;
}
