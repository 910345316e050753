#!/usr/bin/env bash
# The bash completion (completions/fullstop) as bash-completion runs it:
# --jobs values once each for any CPU count, fullstop-adapt's options and
# their values, the forms --opt VALUE and --opt=VALUE alike, and --model's
# names as the program lists them.  Skipped (77) without bash-completion.
#
#   completion_test.sh SOURCE_DIR [FULLSTOP]
root=$1
program=${2:-}
loader=/usr/share/bash-completion/bash_completion
[[ -f $loader ]] || { echo "SKIP: bash-completion is not installed" >&2; exit 77; }
# shellcheck disable=SC1090
source "$loader"
# shellcheck disable=SC1091
source "$root/completions/fullstop"
compopt() { :; }  # only works inside a completion that bash itself runs
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch legal.model notes.txt

# complete FUNCTION WORD... : COMPREPLY, sorted, on one line.  The words are
# COMP_WORDS as bash splits the line ("--jobs=" is "--jobs" "=" "").
complete_words() {
    local function=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_LINE=${COMP_LINE// = /=}
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {  # expect WANT FUNCTION WORD...
    local want=$1 got
    shift
    got=$(complete_words "$@")
    if [[ $got != "$want" ]]; then
        echo "FAIL: ${*:2}: got '$got', want '$want'" >&2
        failures=$((failures + 1))
    fi
}

for case in "1|0 1" "2|0 1 2" "6|0 1 2 4 6" "8|0 1 2 4 8"; do
    nproc() { echo "${case%%|*}"; }
    expect "${case#*|}" _fullstop fullstop --jobs ""
    expect "${case#*|}" _fullstop fullstop --jobs = ""
done
unset -f nproc
expect "classic unicode" _fullstop fullstop --text-mode = ""
expect "--list-models" _fullstop fullstop --li
if [[ -n $program ]]; then
    more=$(mktemp -d)
    echo "0	#text-mode=unicode" >"$more/mine.model"
    FULLSTOP_MODEL_PATH=$more expect "de en en-brown es fr legal.model mine nl notes.txt pt" \
        _fullstop "$program" --model ""
    expect "en en-brown" _fullstop "$program" --model = en
    rm -rf "$more"
fi
expect "legal.model notes.txt" _fullstop fullstop --model en -F ""  # FILE operands
expect "--solver=" _fullstop_train fullstop-train --so

expect "--abbreviations= --add=" _fullstop_adapt fullstop-adapt --a
expect "l1 l2 l2dual" _fullstop_adapt fullstop-adapt -s ""
expect "classic unicode" _fullstop_adapt fullstop-adapt --text-mode = ""
expect "legal.model notes.txt" _fullstop_adapt fullstop-adapt --abbreviations ""
expect "legal.model notes.txt" _fullstop_adapt fullstop-adapt --add = ""
expect "" _fullstop_adapt fullstop-adapt --uses ""
expect "legal.model" _fullstop_adapt fullstop-adapt --abbreviations notes.txt ""
[[ $(complete -p fullstop-adapt) == *_fullstop_adapt* ]] || { echo "FAIL: fullstop-adapt not registered" >&2; failures=$((failures + 1)); }

((failures == 0)) && echo "completion ok"
exit $((failures > 0))
