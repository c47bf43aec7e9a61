; Count r1 down from COUNT to zero, adding r2 into r3 on every round,
; then store the sum at address 0.
define COUNT 5

        addi r1, r0, COUNT      ; r1 := COUNT
        addi r2, r0, 3          ; r2 := 3
        addi r3, r0, 0          ; r3 := 0
loop:   beq  r1, r0, done       ; leave when r1 = 0
        add  r3, r3, r2         ; r3 := r3 + r2
        dec  r1, r1             ; r1 := r1 - 1
        j    loop
done:   sw   r3, 0(r0)          ; memory[0] := r3
        hlt
