x: dw 5
dw
db 300 -1
db 7
num 5
5: add r1 r2 r3
j 5
loop : add r1 r2 r3
loop:: add
