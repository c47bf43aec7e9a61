// The worked example program of the tests, with what it must give.
#pragma once

namespace quellmark::testing_support {

inline constexpr const char* kWorkedExample =
    "; demo\n"
    "define MAX 10\n"
    "start:  ADDI r1, r0, MAX\n"
    "loop: beq r1 r0 done\n"
    "      dec r1, r1\n"
    "      j loop\n"
    "done: hlt\n"
    "table:\n"
    "      dw 5 -1\n"
    "      db 1 2 3\n";

inline constexpr const char* kWorkedIntermediate =
    "addi r1 r0 max \nbeq r1 r0 done \ndec r1 r1 \nj loop \nhlt \n\n"
    "num 5\nnum -1\nnum 258\nnum 768\n\n";

inline constexpr const char* kWorkedImage = "A80620485140100A000E5000FFFF20100030";

}  // namespace quellmark::testing_support
