// The program the benchmarks measure with, generated the same way each
// time.
#pragma once

#include <string>

namespace quellmark_bench {

// A deterministic program of `lines` lines in blocks of 30: a constant, a
// labelled loop with register work, a branch out, a jump back, and data;
// a label or constant every 7.5 lines.
inline std::string generate(long lines) {
  static const char* const kOps[] = {"add", "sub", "and", "or", "sla", "sra", "sll", "srl", "slt"};
  std::string text;
  text.reserve(static_cast<std::size_t>(lines) * 22);
  unsigned state = 12345;
  const auto next = [&state] {
    return state = state * 1103515245u + 12345u, (state >> 16) & 0x7FFF;
  };
  for (long line = 0, block = 0; line < lines; ++block) {
    const std::string b = std::to_string(block);
    const std::string body[] = {
        "define LIMIT" + b + " " + std::to_string(next() % 64),
        "loop" + b + ":  ADDI r1, r0, LIMIT" + b + "   ; counter",
        "        " + std::string(kOps[next() % 9]) + " r" + std::to_string(next() % 8) + ", r" +
            std::to_string(next() % 8) + ", r" + std::to_string(next() % 8),
        "        lw r2, 4(r3)",
        "        sw r2, table" + b + "(r0)",
        "        inc r4, r4",
        "        beq r1, r0, done" + b,
        "        dec r1, r1",
        "        comp r5, r6",
        "        and r1, r2, r3",
        "        sla r4, r4, r1",
        "        slt r3, r1, r2",
        "        lw r5, 0(r7)",
        "        addi r7, r7, 1",
        "        push r7",
        "        pop r7",
        "        j loop" + b,
        "done" + b + ":  addi r6, r6, -1",
        "        " + std::string(kOps[next() % 9]) + " r1 r2 r3",
        "        beq r6, r0, loop" + b,
        "        or r1, r1, r1",
        "        sub r2, r2, r2",
        "        sw r2, LIMIT" + b + "(r6)",
        "        srl r1, r1, r1",
        "        hlt",
        "table" + b + ":",
        "        dw " + std::to_string(next()) + ", -1, " + std::to_string(next()),
        "        db 1, 2, " + std::to_string(next() % 256),
        "; end of block " + b,
    };
    for (const std::string& l : body) {
      if (line++ == lines) break;
      text += l;
      text += '\n';
    }
  }
  return text;
}

}  // namespace quellmark_bench
