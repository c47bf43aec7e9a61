// The first reading of a text, kept with its analysis, so that the
// analysis of an edit within one line may walk that line alone.
#pragma once

#include <cstdint>

#include "analysis.h"
#include "symbol_table.h"
#include "walk.h"

namespace quellmark {

struct Reading {
  explicit Reading(Build build) : walk(build) {}
  Walk walk;           // collected: its names and symbol table
  SymbolTable index;   // of each name among the names
};

// Walks `stretch` of `text` as `reading`'s second reading into `out`: the
// findings, words, places and tokens of its lines, as a whole analysis has
// them. `also` hears each piece too. Pass 2's and pass 1's word counters
// after the stretch go to `wordsAfter` and `pass1After`. False on a read
// error.
bool collectStretch(const Reading& reading, const SeekableSource& text,
                    const Walk::Stretch& stretch, Analysis& out, LineListener& also,
                    std::uint32_t& wordsAfter, std::uint32_t& pass1After);

}  // namespace quellmark
