#!/usr/bin/env bash
# scripts/parallel-split with two local workers and small blocks prints what
# one fullstop process prints for the whole text, byte for byte: bare lines
# and offsets (re-based per block), on the Brown dev text and on a text with
# a byte order mark, leading spaces, runs of blank lines, CRLF and no final
# newline; --each gives each file's own output; a classic-mode model is
# refused for cutting at blank lines.  Skipped (77) without GNU parallel.
set -euo pipefail
fullstop=$1
root=$2
command -v parallel >/dev/null || { echo "SKIP: GNU parallel is not installed" >&2; exit 77; }
split=$root/scripts/parallel-split
model=$root/models/en.model
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

{
  printf '\xef\xbb\xbf  Mr. Smith left at 5 p.m. sharp.\r\nNobody knew why.\n\n\n\n'
  for i in $(seq 1 300); do
    printf 'Paragraph %d begins. \xe2\x80\x9cQuoted.\xe2\x80\x9d 1. item\n' "$i"
    (( i % 3 )) && printf '\n' || printf '\n\n\n'
  done
  printf 'It ends without a newline'
} >edge.txt
texts=(edge.txt)
declare -A block=([edge.txt]=2k [dev.txt]=40k)
if [[ -f $root/data/brown/dev.txt ]]; then
  cat "$root/data/brown/dev.txt" >dev.txt
  texts+=(dev.txt)
fi
for text in "${texts[@]}"; do
  for form in "" -F; do
    "$fullstop" -m "$model" $form <"$text" >whole
    "$split" --fullstop "$fullstop" -m "$model" $form -j 2 --block "${block[$text]}" "$text" >blocks
    cmp -s whole blocks || fail "$text ${form:-offsets}: blocks differ from the whole run"
  done
done
# Hosts go to parallel: ':' is this machine, without ssh.
"$fullstop" -m "$model" <edge.txt >whole
"$split" --fullstop "$fullstop" -m "$model" -S 2/: --block 2k edge.txt >blocks
cmp -s whole blocks || fail "-S 2/: differs from the whole run"

mkdir out
"$split" --fullstop "$fullstop" -m "$model" -F --each --out-dir out -j 2 edge.txt "${texts[-1]}"
for text in edge.txt "${texts[-1]}"; do
  "$fullstop" -m "$model" -F <"$text" | cmp -s - "out/$text" || fail "--each: out/$text differs"
done

status=0
"$split" --fullstop "$fullstop" -m "$root/tests/data/brown_conformance.model" edge.txt >/dev/null 2>err || status=$?
[[ $status -eq 2 ]] && grep -q "classic-mode model" err || fail "classic model not refused: $status $(cat err)"
echo "parallel-split ok"
