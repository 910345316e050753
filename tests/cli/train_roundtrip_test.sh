#!/usr/bin/env bash
# Train on a small sentence-per-line text with the real programs, then check
# that the model splits held-out text and scores well in evaluation mode.
set -euo pipefail
fullstop=$1
trainer=$2
root=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for i in $(seq 1 40); do
  echo "Mr. Smith went to town number $i."
  echo "Did he buy bread?"
  echo "Yes, he did; then he left at $i p.m. for home!"
  echo "The U.S. team won game $i."
done >train.lines
FULLSTOP_BIN=$fullstop FULLSTOP_TRAIN=$trainer "$root/scripts/train-model" train.lines m.model
[[ -s m.model ]]
[[ ! -e features.def ]] || { echo "features.def leaked into the working folder" >&2; exit 1; }
got=$(printf 'Mr. Brown went to town. Did he buy milk? Yes, he did.\n' | "$fullstop" -m m.model -F)
want=$'Mr. Brown went to town.\nDid he buy milk?\nYes, he did.'
[[ $got == "$want" ]] || { printf 'unexpected split:\n%s\n' "$got" >&2; exit 1; }
report=$("$fullstop" -m m.model -t <train.lines)
grep -qx 'accuracy  = 100.00%' <<<"$report" || { printf 'evaluation:\n%s\n' "$report" >&2; exit 1; }
echo "round trip ok"
