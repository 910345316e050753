#!/usr/bin/env bash
# Builds the fuzz targets and runs each for SECONDS (default 30), two at a
# time (FUZZ_JOBS), after replaying the saved regression inputs.  Fails if any
# regression input or any new input crashes, hangs, leaks or disagrees with
# the reference model.
#
#   fuzz/run.sh [SECONDS]
#   FUZZ_TARGETS="model_fuzzer hash_fuzzer" fuzz/run.sh 600
#
# The corpora grow in build-fuzz/corpus/TARGET between runs; inputs that fail
# are kept in build-fuzz/artifacts/TARGET/ and the logs in build-fuzz/logs/.
set -euo pipefail
seconds=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${FUZZ_JOBS:-$(nproc)}
targets=(${FUZZ_TARGETS:-program_fuzzer model_fuzzer hash_fuzzer trainer_fuzzer unicode_fuzzer escape_fuzzer parallel_fuzzer})
golden=$root/tests/cli/golden/cases

"$root/fuzz/build.sh" "$out"
# The targets judge the program by the reference model: check it first.
"$out/reference_check" "$golden"

# Seeds: the hand-made ones in fuzz/seeds, plus inputs taken from the tests.
seeds=$out/seeds
rm -rf "$seeds"
for t in program model hash trainer unicode; do
  mkdir -p "$seeds/$t"
  cp "$root/fuzz/seeds/$t/"* "$seeds/$t/" 2>/dev/null || true
done
cp "$root/examples/sample.txt" "$seeds/program/sample.txt"
for case_dir in "$golden"/*/; do
  name=$(basename "$case_dir")
  [[ -f $case_dir/stdin ]] && cp "$case_dir/stdin" "$seeds/program/$name"
  for m in "$case_dir"model "$case_dir"*.model; do
    [[ -f $m ]] && cp "$m" "$seeds/model/$name.$(basename "$m")"
  done
  if [[ $name == train_* && -s $case_dir/expected_stdout ]]; then
    { printf '\0'; cat "$case_dir/expected_stdout"; } >"$seeds/trainer/$name.contexts"
    { printf '\1'; cat "$case_dir/expected_features.def"; } >"$seeds/trainer/$name.def"
    { printf '\2'; cat "$case_dir/expected_stdout"; printf '\0'; cat "$case_dir/expected_features.def"; } \
      >"$seeds/trainer/$name.both"
  fi
done
head -c 3000 "$root/models/en.model" >"$seeds/model/en.model.head"
cp "$root/examples/"*.txt "$seeds/unicode/"
if [[ -f $root/data/brown/dev.lines ]]; then head -c 4000 "$root/data/brown/dev.lines" >"$seeds/program/brown.head"; fi

seed_dir() { case $1 in program_fuzzer) echo program ;; model_fuzzer) echo model ;;
  hash_fuzzer) echo hash ;; trainer_fuzzer) echo trainer ;; unicode_fuzzer) echo unicode ;;
  escape_fuzzer) echo program ;; parallel_fuzzer) echo program ;; esac; }
# parallel_fuzzer cuts its input into blocks of a few bytes: shorter inputs.
max_len() { case $1 in model_fuzzer) echo 16384 ;; hash_fuzzer) echo 4096 ;; parallel_fuzzer) echo 2048 ;;
  *) echo 8192 ;; esac; }

mkdir -p "$out/logs"
status=0
failed=()

# Every saved regression input must pass.
for t in "${targets[@]}"; do
  dir=$root/fuzz/regressions/$(seed_dir "$t")
  shopt -s nullglob
  inputs=("$dir"/*)
  shopt -u nullglob
  [[ ${#inputs[@]} -eq 0 ]] && continue
  if "$out/$t" -runs=1 "${inputs[@]}" >"$out/logs/$t.regressions.log" 2>&1; then
    echo "$t: ${#inputs[@]} regression inputs pass"
  else
    echo "$t: a regression input fails; see $out/logs/$t.regressions.log:" >&2
    grep -E '^(====|Running:)|ERROR' "$out/logs/$t.regressions.log" | tail -20 >&2
    status=1
  fi
done

run_target() {
  local t=$1 corpus=$out/corpus/$1 artifacts=$out/artifacts/$1/
  mkdir -p "$corpus" "$artifacts"
  "$out/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$(max_len "$t")" \
    -dict="$root/fuzz/fullstop.dict" -use_value_profile=1 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "$corpus" "$seeds/$(seed_dir "$t")" >"$out/logs/$t.log" 2>&1
}

summary() {
  local t=$1 log=$out/logs/$1.log
  local runs speed cov
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -1 || true)
  echo "$t: ${runs:-?} runs, ${speed:-?} execs/s, ${cov:-no stats}"
}

pids=()
names=()
for t in "${targets[@]}"; do
  run_target "$t" &
  pids+=($!)
  names+=("$t")
  if [[ ${#pids[@]} -ge $jobs ]]; then
    if ! wait "${pids[0]}"; then failed+=("${names[0]}"); fi
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  if ! wait "${pids[$i]}"; then failed+=("${names[$i]}"); fi
done

for t in "${targets[@]}"; do summary "$t"; done
for t in ${failed[@]+"${failed[@]}"}; do
  echo "$t FOUND A FAILURE; input kept in $out/artifacts/$t/, log $out/logs/$t.log:" >&2
  grep -E '^====|ERROR|SUMMARY|Test unit written' "$out/logs/$t.log" | head -20 >&2
  status=1
done
exit $status
