loop: beq r1 r0 far
x: dw 5
5: j 5
