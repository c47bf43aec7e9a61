#pragma once

namespace quellmark {

// The two builds of the assembler, from one library.
//  - full (`brennor`): knows the data directives `dw` and `db` and the data
//    line "num", and an empty intermediate line gives no word;
//  - reduced (`assembler`): neither, and an empty intermediate line is the
//    word 0, so a label alone on its line addresses a zero word.
enum class Build { full, reduced };

}  // namespace quellmark
