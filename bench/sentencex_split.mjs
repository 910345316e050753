// Sentence splitting with the npm package sentencex (rule-based, many
// languages), as a peer for bench/languages.
//
//   node bench/sentencex_split.mjs LANGUAGE < text > sentences
//
// Prints one sentence a line, its inner line ends written as spaces, so that
// bench/align_sentences.py can map the sentences back to byte offsets.
// NODE_PATH must reach the installed package (bench/languages installs it
// into bench/out/npm with `npm pack`).
import { createRequire } from "node:module";
import { readFileSync } from "node:fs";

const require = createRequire(import.meta.url);
const { segment } = require("sentencex");
const language = process.argv[2];
if (!language) {
  process.stderr.write("usage: sentencex_split.mjs LANGUAGE < text\n");
  process.exit(2);
}
const text = readFileSync(0, "utf8");

// sentencex 1.0.17 panics on some texts (a slice out of order in its
// boundary search; seen on Portuguese GSD).  Text is therefore split in
// pieces that end at a space: every sentence of a piece but its last is
// kept, and the next piece starts where that last sentence starts, so no
// piece's cut makes a boundary.  A piece that panics is tried shorter; one
// that still panics at the shortest length is kept as one sentence and
// counted on stderr.
const CHUNK = 4000, LEAST = 250;
const out = [];
let failures = 0;
let pos = 0, size = CHUNK;
while (pos < text.length) {
  let end = Math.min(text.length, pos + size);
  if (end < text.length) {
    const space = text.lastIndexOf(" ", end);
    if (space > pos) end = space;
  }
  let sentences;
  try {
    sentences = segment(language, text.slice(pos, end));
  } catch (e) {
    if (size > LEAST) { size = Math.floor(size / 2); continue; }
    failures++;
    sentences = [text.slice(pos, end)];
  }
  size = CHUNK;
  // Keep the last sentence for the next piece unless the text ends here.
  const keep = end < text.length && sentences.length > 1 ? sentences.length - 1 : sentences.length;
  let used = 0;
  for (let i = 0; i < keep; i++) {
    const line = sentences[i].replace(/\s+/gu, " ").trim();
    if (line) out.push(line);
    used += sentences[i].length;
  }
  pos += used;
}
if (failures) process.stderr.write(`sentencex_split: ${failures} pieces kept whole after a panic\n`);
process.stdout.write(out.join("\n") + (out.length ? "\n" : ""));
