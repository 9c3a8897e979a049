// Writes pinyin-pro's initials of each corpus name, one a line, after a first
// line "# ns_per_name N" with its time per name (after a warm-up).
//   node reference.mjs PINYIN_PRO_DIR CORPUS
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { resolve } from 'node:path';

const [dir, corpusPath] = process.argv.slice(2);
const { pinyin } = createRequire(import.meta.url)(resolve(dir));
const names = readFileSync(corpusPath, 'utf8').split('\n').map((l) => l.replace(/\r$/, ''));
while (names.length && names[names.length - 1] === '') names.pop();
const options = { pattern: 'first', toneType: 'none', type: 'array' };
// Full-width forms count as the ASCII letter or digit they stand for, as in our library.
const initials = (name) => pinyin(name, options).join('').normalize('NFKC');

for (let i = 0; i < 20; ++i) for (const n of names) initials(n);
const repetitions = 200;
let sink = 0;
const start = process.hrtime.bigint();
for (let i = 0; i < repetitions; ++i) for (const n of names) sink += initials(n).length;
const ns = Number(process.hrtime.bigint() - start) / (repetitions * names.length);
const out = [`# ns_per_name ${ns.toFixed(0)}`, ...names.map(initials)];
process.stdout.write(out.join('\n') + '\n');
if (sink < 0) console.error(sink);
