#!/usr/bin/env node
// Generates pinyin/src/tables.inc: the character table and the phrase table of
// libPinYin. Run by developers through pinyin/tools/regenerate, never by the build.
//
//   node gen_tables.mjs UNIHAN_READINGS_BZ2 PINYIN_PRO_DIR PINYIN_DIR EXTRA_PHRASES OUT
//
// Character table: one byte per two-byte GBK code (lead 0x81..0xFE, trail
// 0x40..0xFE without 0x7F), holding the lower-case initial of the character's
// most common reading, a digit or letter for full-width forms, or '.' for none.
// The reading is the first value of kMandarin (the customary reading, the
// mainland one first), else the most frequent one of kHanyuPinlu, else the
// first reading of kHanyuPinyin, kXHC1983 or kTGHZ2013. kHanyuPinlu's most
// frequent reading is not preferred over kMandarin: it counts suffix and
// particle uses (儿 as r, 呵 as a) and agrees less often with pinyin-pro's
// curated single-character readings (91 against 93 differing initials among
// the 6763 characters of GB2312).
//
// Phrase table: the words of pinyin-pro's phrase dictionaries, of the phrase
// dictionary of the npm package pinyin (where pinyin-pro lacks the word) and of
// our own EXTRA_PHRASES file (which wins over both), whose initials differ from what the character table gives
// character by character. Only those can change a result, so the rest is left out.
// Records are grouped by length in characters and sorted by their GBK bytes.

import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const [unihanPath, pinyinProDir, pinyinDir, extraPath, outPath] = process.argv.slice(2);
if (!outPath) {
  console.error('usage: gen_tables.mjs UNIHAN_READINGS_BZ2 PINYIN_PRO_DIR PINYIN_DIR EXTRA_PHRASES OUT');
  process.exit(2);
}

const LEAD_FIRST = 0x81, LEAD_LAST = 0xfe, TRAIL_FIRST = 0x40, TRAIL_LAST = 0xfe;
const TRAILS = TRAIL_LAST - TRAIL_FIRST + 1;

// First letter of a pinyin syllable without its tone and diaeresis marks.
function initialOf(syllable) {
  const base = syllable.normalize('NFD').replace(/[\u0300-\u036f]/g, '').toLowerCase();
  const c = base[0];
  return c >= 'a' && c <= 'z' ? c : null;
}

// --- Unihan ----------------------------------------------------------------
const unihan = new Map(); // code point -> { field: value }
const text = execFileSync('bzcat', [unihanPath], { maxBuffer: 1 << 30 }).toString('utf8');
for (const line of text.split('\n')) {
  if (!line.startsWith('U+')) continue;
  const [cp, field, value] = line.split('\t');
  const code = parseInt(cp.slice(2), 16);
  let e = unihan.get(code);
  if (!e) unihan.set(code, (e = {}));
  e[field] = value;
}

function unihanReading(code) {
  const e = unihan.get(code);
  if (!e) return null;
  if (e.kMandarin) return e.kMandarin.split(' ')[0];
  if (e.kHanyuPinlu) {
    let best = null, bestCount = -1;
    for (const m of e.kHanyuPinlu.matchAll(/(\S+?)\((\d+)\)/g)) {
      const n = Number(m[2]);
      if (n > bestCount) { best = m[1]; bestCount = n; }
    }
    if (best) return best;
  }
  for (const f of ['kHanyuPinyin', 'kXHC1983', 'kTGHZ2013']) {
    if (e[f]) return e[f].split(' ')[0].split(':')[1].split(',')[0];
  }
  return null;
}

// --- GBK -------------------------------------------------------------------
const decoder = new TextDecoder('gbk', { fatal: true });
const charTable = [];            // index -> initial char
const gbkOf = new Map();         // character -> [lead, trail]
let hanCount = 0, hanWithReading = 0;
for (let lead = LEAD_FIRST; lead <= LEAD_LAST; ++lead) {
  for (let trail = TRAIL_FIRST; trail <= TRAIL_LAST; ++trail) {
    let out = '.';
    if (trail !== 0x7f) {
      let ch = null;
      try { ch = decoder.decode(Uint8Array.of(lead, trail)); } catch { ch = null; }
      if (ch && [...ch].length === 1 && ch !== '\ufffd') {
        if (!gbkOf.has(ch)) gbkOf.set(ch, [lead, trail]);
        const code = ch.codePointAt(0);
        if (/\p{Script=Han}/u.test(ch)) {
          ++hanCount;
          const r = unihanReading(code);
          const i = r && initialOf(r);
          if (i) { out = i; ++hanWithReading; }
        } else {
          // Full-width letters and digits (and forms such as circled digits)
          // count as the ASCII letter or digit they stand for.
          const k = ch.normalize('NFKC');
          if (/^[A-Za-z0-9]$/.test(k)) out = k.toLowerCase();
        }
      }
    }
    charTable.push(out);
  }
}

function charInitials(word) {
  let s = '';
  for (const ch of word) {
    const g = gbkOf.get(ch);
    if (!g) return null;
    s += charTable[(g[0] - LEAD_FIRST) * TRAILS + (g[1] - TRAIL_FIRST)];
  }
  return s;
}

// --- Phrases -----------------------------------------------------------------
const words = new Map(); // word -> initials
async function loadDict(n) {
  const url = pathToFileURL(resolve(pinyinProDir, `dist/esm/data/dict${n}.mjs`)).href;
  const dict = (await import(url)).default;
  for (const [word, reading] of Object.entries(dict)) {
    const syll = reading.trim().split(/\s+/);
    if ([...word].length !== syll.length) continue;
    const ini = syll.map(initialOf);
    if (ini.some((x) => !x)) continue;
    words.set(word, ini.join(''));
  }
}
for (const n of [2, 3, 4, 5]) await loadDict(n);
const proCount = words.size;

// The npm package pinyin bundles its phrase dictionary as one object literal
// `const phrases_dict = { "word": [["a"], ["b"]], ... };` in lib/cjs/pinyin.js.
{
  const bundle = readFileSync(resolve(pinyinDir, 'lib/cjs/pinyin.js'), 'utf8');
  const start = bundle.indexOf('const phrases_dict = {');
  const end = bundle.indexOf('\n};', start);
  if (start < 0 || end < 0) throw new Error('phrases_dict not found in the pinyin package');
  const dict = Function(`"use strict"; return ${bundle.slice(start + 'const phrases_dict = '.length, end + 2)};`)();
  for (const [word, readings] of Object.entries(dict)) {
    if (words.has(word) || [...word].length !== readings.length) continue;
    const ini = readings.map((r) => initialOf(r[0]));
    if (ini.some((x) => !x)) continue;
    words.set(word, ini.join(''));
  }
}
const pinyinCount = words.size - proCount;

let extraCount = 0;
for (const raw of readFileSync(extraPath, 'utf8').split('\n')) {
  const line = raw.replace(/#.*/, '').trim();
  if (!line) continue;
  const [word, ...syll] = line.split(/\s+/);
  if ([...word].length !== syll.length) throw new Error(`bad extra phrase line: ${raw}`);
  words.set(word, syll.map(initialOf).join(''));
  ++extraCount;
}

const byLength = new Map(); // length -> [{ key: Buffer, initials }]
let kept = 0;
for (const [word, initials] of words) {
  const plain = charInitials(word);
  if (plain === null || plain === initials) continue;
  const key = Buffer.from([...word].flatMap((ch) => gbkOf.get(ch)));
  const len = [...word].length;
  if (!byLength.has(len)) byLength.set(len, []);
  byLength.get(len).push({ key, initials, word });
  ++kept;
}

// --- Output ------------------------------------------------------------------
const hex = (buf) => [...buf].map((b) => '\\x' + b.toString(16).toUpperCase().padStart(2, '0')).join('');
let out = '';
out += '// Generated by pinyin/tools/gen_tables.mjs; do not edit. Sources: pinyin/NOTICE.\n';
out += `// ${hanWithReading} of ${hanCount} GBK Han characters have a reading; ${kept} phrases.\n\n`;
out += `constexpr unsigned kLeadFirst = 0x${LEAD_FIRST.toString(16)}, kLeadLast = 0x${LEAD_LAST.toString(16)};\n`;
out += `constexpr unsigned kTrailFirst = 0x${TRAIL_FIRST.toString(16)}, kTrailLast = 0x${TRAIL_LAST.toString(16)};\n`;
out += `constexpr unsigned kTrails = ${TRAILS};\n\n`;
out += '// Initial of each two-byte code, row by lead byte; \'.\' for none.\n';
out += `constexpr char kCharInitial[${charTable.length} + 1] =\n`;
for (let row = 0; row < LEAD_LAST - LEAD_FIRST + 1; ++row) {
  out += `    "${charTable.slice(row * TRAILS, (row + 1) * TRAILS).join('')}"${row === LEAD_LAST - LEAD_FIRST ? ';' : ''}\n`;
}
const lengths = [...byLength.keys()].sort((a, b) => a - b);
const maxLen = Math.max(...lengths);
out += `\nconstexpr unsigned kMaxPhraseChars = ${maxLen};\n`;
for (let len = 2; len <= maxLen; ++len) {
  const recs = (byLength.get(len) || []).sort((a, b) => Buffer.compare(a.key, b.key));
  out += `\n// ${recs.length} phrases of ${len} characters: ${2 * len} GBK bytes, then ${len} initials.\n`;
  out += `constexpr unsigned kPhraseCount${len} = ${recs.length};\n`;
  out += `constexpr char kPhrases${len}[${recs.length * 3 * len} + 1] =`;
  if (recs.length === 0) out += ' "";\n';
  else {
    out += '\n';
    recs.forEach((r, i) => {
      out += `    "${hex(r.key)}" "${r.initials}"${i === recs.length - 1 ? ';' : ''}  // ${r.word}\n`;
    });
  }
}
out += '\nstruct PhraseTable { const char *records; unsigned count; };\n';
out += `constexpr PhraseTable kPhrases[kMaxPhraseChars + 1] = {\n    {nullptr, 0}, {nullptr, 0},\n`;
for (let len = 2; len <= maxLen; ++len) out += `    {kPhrases${len}, kPhraseCount${len}},\n`;
out += '};\n';
writeFileSync(outPath, out);
console.error(`characters: ${hanWithReading}/${hanCount} Han with a reading; phrases kept: ${kept} of ${words.size} (${proCount} pinyin-pro, ${pinyinCount} pinyin, ${extraCount} extra)`);
