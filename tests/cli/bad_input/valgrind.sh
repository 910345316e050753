#!/usr/bin/env bash
# Runs the programs under valgrind's memcheck, which must report no error:
# every golden case (same arguments, input and files; output and status must
# still be the expected ones), then a train, detect and evaluate round trip.
#
#   tests/cli/bad_input/valgrind.sh [FULLSTOP [FULLSTOP_TRAIN]]   (default: build/)
#
# Meant for a plain (not sanitized) build.  Two cases run at a time (JOBS).
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
fullstop=$(realpath "${1:-$root/build/fullstop}")
train=$(realpath "${2:-$root/build/fullstop-train}")
jobs=${JOBS:-$(nproc)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One program run under memcheck: LOG collects memcheck's reports (nothing at
# all when it finds no error).
vg() {
  local log=$1
  shift
  valgrind -q --error-exitcode=1 --leak-check=no --log-file="$log" "$@"
}

golden_case() {
  local case_dir=$1 dir=$work/$(basename "$1")
  mkdir -p "$dir/run"
  for f in "$case_dir"/*; do
    case $(basename "$f") in
      args | stdin | expected_*) ;;
      *) cp "$f" "$dir/run/" ;;
    esac
  done
  local args=()
  [[ -f $case_dir/args ]] && mapfile -t args < <(grep -v '^$' "$case_dir/args")
  local i
  for i in "${!args[@]}"; do [[ ${args[i]} == '""' ]] && args[i]=''; done  # an empty argument
  local stdin=/dev/null want_status=0 status=0
  [[ -f $case_dir/stdin ]] && stdin=$case_dir/stdin
  [[ -f $case_dir/expected_status ]] && want_status=$(cat "$case_dir/expected_status")
  (cd "$dir/run" && vg "$dir/memcheck.log" "$fullstop" ${args[@]+"${args[@]}"} <"$stdin" \
    >"$dir/stdout" 2>"$dir/stderr") || status=$?
  if [[ -s $dir/memcheck.log ]]; then
    echo "FAIL $(basename "$case_dir"): memcheck reports errors:"
    cat "$dir/memcheck.log"
    return 1
  fi
  if [[ $status != "$want_status" ]] || ! cmp -s "$dir/stdout" "$case_dir/expected_stdout"; then
    echo "FAIL $(basename "$case_dir"): status $status (expected $want_status) or output differs"
    return 1
  fi
  echo "ok   $(basename "$case_dir")"
}
export -f golden_case vg
export work fullstop

failed=0
printf '%s\n' "$root"/tests/cli/golden/cases/*/ |
  xargs -P "$jobs" -I{} bash -c 'golden_case "${1%/}"' _ {} >"$work/golden.txt" || failed=1
grep -c '^ok' "$work/golden.txt" | sed 's/$/ golden cases clean under memcheck/'
grep -A30 '^FAIL' "$work/golden.txt" || true

# Round trip: contexts, a fitted model (each solver), detection and evaluation.
rt=$work/roundtrip
mkdir -p "$rt"
cd "$rt"
text=$root/examples/sample.txt
cat "$text" "$root"/tests/cli/golden/cases/*/stdin | tr -d '\0' >train.lines
step() {
  local name=$1
  shift
  if ! vg "$rt/$name.memcheck" "$@" || [[ -s $rt/$name.memcheck ]]; then
    echo "FAIL round trip, $name:"
    cat "$rt/$name.memcheck"
    failed=1
  fi
}
step contexts "$fullstop" <train.lines >contexts
for solver in l1 l2 l2dual; do
  step "train-$solver" "$train" -s "$solver" -o "$solver.model" contexts 2>/dev/null
done
step detect "$fullstop" -m l2.model -f <"$text" >/dev/null
step evaluate "$fullstop" -m l1.model -t <train.lines >/dev/null
step bundled-model "$fullstop" -m "$root/models/en.model" -F <"$text" >/dev/null
echo "round trip done"
if [[ $failed != 0 ]]; then
  echo "valgrind run failed: see above" >&2
  exit 1
fi
echo "no memcheck errors"
