; demo
define MAX 10
start:  ADDI r1, r0, MAX
loop: beq r1 r0 done
      dec r1, r1
      j loop
done: hlt
table:
      dw 5 -1
      db 1 2 3
