define N 5
loop:   addi r1, r0, N ; é
        ad   r2, r2, r1
        beq r1 r0 loop
        j    lop
loop: hlt
