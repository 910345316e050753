// Prints the sentences an npm splitter finds in standard input (UTF-8), one a
// line, each with its whitespace runs made one space, for
// bench/align_sentences.py to map back to byte offsets.  Each splitter runs in
// its default configuration:
//
//   node bench/npm_split.js sbd MODULES        sbd's sentences(text)
//   node bench/npm_split.js sentencex MODULES  sentencex's segment("en", text)
//
// MODULES is the node_modules folder the packages were unpacked into (see
// tools/fullstop_tools/peers.py, which fetches them with npm pack).  sbd is
// loaded from its published browser build, dist/sbd.js, which holds its code
// and a stand-in for the HTML sanitiser that only its sanitize option uses.
"use strict";
const path = require("path");
const [which, modules] = process.argv.slice(2);
const chunks = [];
process.stdin.on("data", (c) => chunks.push(c));
process.stdin.on("end", () => {
  const text = Buffer.concat(chunks).toString("utf8");
  let sentences;
  if (which === "sbd") {
    sentences = require(path.join(modules, "sbd", "dist", "sbd.js")).sentences(text);
  } else if (which === "sentencex") {
    // It loads its compiled part, sentencex-linux-x64, from the same folder.
    sentences = require(path.join(modules, "sentencex")).segment("en", text);
  } else {
    console.error("npm_split.js: unknown splitter " + which);
    process.exit(2);
  }
  const out = sentences.map((s) => s.replace(/\s+/gu, " ").trim()).filter((s) => s.length);
  process.stdout.write(out.length ? out.join("\n") + "\n" : "");
});
