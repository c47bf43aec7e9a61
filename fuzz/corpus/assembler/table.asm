; Read the entry at index 2 of a table of squares, then stop.
; The data follow the code: a label alone on its line names the next word.
        addi r2, r0, 2          ; r2 := 2
        lw   r1, squares(r2)    ; r1 := squares[r2]
        hlt

squares:
        dw 0, 1, 4, 9, 16, 25   ; one word each
message:
        db 72, 105, 33          ; "Hi!": two bytes a word, the first one high
        dw -1                   ; end mark
