; One routine shared by two callers: each caller puts a return code into
; r7 and jumps to it; the routine branches back on that code.
        addi r7, r0, 1          ; return code 1: come back to after1
        j    double
after1: addi r7, r0, 2          ; return code 2: come back to after2
        j    double
after2: hlt

; double: r1 := r1 + r1, then return to the caller that r7 names.
double: add  r1, r1, r1
        addi r6, r0, 1
        beq  r7, r6, after1
        j    after2
