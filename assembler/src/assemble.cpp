#include "assemble.h"

#include "encoder.h"
#include "image.h"
#include "pass1.h"

namespace quellmark {

bool runPass1(ByteSource& source, ByteSink& intermediate, SymbolTable& symbols, Build build) {
  PieceReader reader(source);
  BufferedWriter out(intermediate);
  Pass1 pass(build, symbols, out);
  for (std::span<char> piece = reader.next(); !piece.empty(); piece = reader.next()) {
    pass.handleLine(piece);
  }
  const bool closed = out.close();
  return closed && !reader.failed();
}

std::optional<std::uint16_t> Pass2::handleLine(std::string_view line) {
  // The encoder ends the line at a NUL itself.
  // Only the full build skips an empty line; the reduced one makes it 0.
  if (build_ == Build::full && line.starts_with('\n')) return std::nullopt;
  const std::uint16_t word = encodeLine(line, wordCounter_, symbols_, build_, observer_);
  ++wordCounter_;
  return word;
}

bool runPass2(ByteSource& intermediate, ByteSink& image, const SymbolTable& symbols, Build build) {
  PieceReader reader(intermediate);
  BufferedWriter out(image);
  ImageWriter writer(out);
  Pass2 pass(symbols, build);
  for (std::span<char> piece = reader.next(); !piece.empty(); piece = reader.next()) {
    if (const auto word = pass.handleLine({piece.data(), piece.size()})) {
      writer.writeWord(*word);
    }
  }
  const bool closed = out.close();
  return closed && !reader.failed();
}

Assembly assembleText(std::string_view source, Build build) {
  SymbolTable symbols;
  MemorySource input(source);
  MemorySink intermediate;
  (void)runPass1(input, intermediate, symbols, build);  // memory never fails
  MemorySource again(intermediate.text());
  MemorySink image;
  (void)runPass2(again, image, symbols, build);
  return {intermediate.text(), image.text()};
}

}  // namespace quellmark
