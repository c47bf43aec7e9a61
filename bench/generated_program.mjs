// The benchmarks' generated program (bench/generated_program.h), for the
// page's benchmark: the same lines, with registers drawn in another order.
export function generateProgram(lines) {
  const ops = ['add', 'sub', 'and', 'or', 'sla', 'sra', 'sll', 'srl', 'slt'];
  let state = 12345;
  const next = () => {
    state = (Math.imul(state, 1103515245) + 12345) >>> 0;
    return (state >>> 16) & 0x7fff;
  };
  const out = [];
  for (let line = 0, block = 0; line < lines; ++block) {
    const b = String(block);
    const body = [
      `define LIMIT${b} ${next() % 64}`,
      `loop${b}:  ADDI r1, r0, LIMIT${b}   ; counter`,
      `        ${ops[next() % 9]} r${next() % 8}, r${next() % 8}, r${next() % 8}`,
      '        lw r2, 4(r3)',
      `        sw r2, table${b}(r0)`,
      '        inc r4, r4',
      `        beq r1, r0, done${b}`,
      '        dec r1, r1',
      '        comp r5, r6',
      '        and r1, r2, r3',
      '        sla r4, r4, r1',
      '        slt r3, r1, r2',
      '        lw r5, 0(r7)',
      '        addi r7, r7, 1',
      '        push r7',
      '        pop r7',
      `        j loop${b}`,
      `done${b}:  addi r6, r6, -1`,
      `        ${ops[next() % 9]} r1 r2 r3`,
      `        beq r6, r0, loop${b}`,
      '        or r1, r1, r1',
      '        sub r2, r2, r2',
      `        sw r2, LIMIT${b}(r6)`,
      '        srl r1, r1, r1',
      '        hlt',
      `table${b}:`,
      `        dw ${next()}, -1, ${next()}`,
      `        db 1, 2, ${next() % 256}`,
      `; end of block ${b}`,
    ];
    for (const l of body) {
      if (line++ === lines) break;
      out.push(l);
    }
  }
  return out.join('\n') + '\n';
}
