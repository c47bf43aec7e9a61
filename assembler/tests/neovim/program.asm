; été 𝄞: a comment with letters of two and four bytes
define N 5
loop:   addi r1, r0, N
        ad   r2, r2, r1
été:    beq  r1, r0, loop      ; ü
        j    lop
loop:   hlt
