add r8 r0 r-1
push r-1
j 99999999999
addi r1 r2 4294967301
lw r1
beq
jmp 5
