#!/usr/bin/env bash
# compare_builds.sh REFERENCE CANDIDATE INPUT.cob...: runs two builds of facetor on the same
# inputs in every mode of both regimes and compares standard output and error, the exit code
# and every output file byte for byte. A *.exe runs through $FACETOR_EMULATOR (default: wine).
# Prints each difference and a summary; exits 1 when anything differs.
set -uo pipefail
(($# >= 3)) || { echo "usage: $0 REFERENCE CANDIDATE INPUT.cob..." >&2; exit 2; }
reference=$(realpath "$1") candidate=$(realpath "$2") work=$(mktemp -d "${TMPDIR:-/tmp}/facetor-compare-XXXXXX") compared=0 differing=0
shift 2
trap 'rm -rf "$work"' EXIT

run() {  # run PROGRAM FOLDER STDIN ARGUMENTS...: leaves out, err, code in FOLDER
  local program=$1 folder=$2 typed=$3 launcher=()
  shift 3
  [[ $program != *.exe ]] || launcher=("${FACETOR_EMULATOR:-wine}")
  (cd "$folder" && printf '%s' "$typed" | "${launcher[@]}" "$program" "$@" >out 2>err; echo $? >code)
  # What the emulator itself says on a busy machine is no output of the program.
  ((${#launcher[@]} == 0)) || sed -i -E '/^(wine: |[0-9a-f]{4}:(err|fixme|warn):)/d' "$folder/err"
}

compare_case() {  # compare_case LABEL INPUT STDIN ARGUMENTS...: both programs in fresh folders, every file compared
  local label=$1 input=$2 typed=$3 name
  shift 3
  rm -rf "$work/a" "$work/b" && mkdir "$work/a" "$work/b"
  [[ -z $input ]] || { cp "$input" "$work/a/" && cp "$input" "$work/b/"; }
  run "$reference" "$work/a" "$typed" "$@"
  run "$candidate" "$work/b" "$typed" "$@"
  for name in $(ls -A "$work/a" "$work/b" | grep -v "^/\|^$" | sort -u); do  # a file only one side wrote differs
    compared=$((compared + 1))
    cmp -s "$work/a/$name" "$work/b/$name" && continue
    echo "differs: $label: $name" && differing=$((differing + 1))
    [[ $name != err && $name != code ]] || printf '  reference: %s\n  candidate: %s\n' "$(head -c 300 "$work/a/$name" 2>/dev/null)" "$(head -c 300 "$work/b/$name" 2>/dev/null)"
  done
}

for input in "$@"; do
  name=$(basename "$input") stem=${name%.*}
  # Command line: file and screen modes, an unknown one, none, the name without ".cob".
  for mode in R A D H I x ""; do compare_case "$name $mode" "$input" "" "$name" "$mode"; done
  compare_case "$stem" "$input" "" "$stem"
  # At the prompts: every mode, one after the other, in one run.
  compare_case "$name at the prompts" "$input" "$(printf '%s\nR\n%s\nA\n%s\nD\n%s\nH\n%s\nI\n%s\nzebra\nQ\n' "$name" "$name" "$name" "$name" "$name" "$name")"
done
compare_case "missing file" "" "" "missing.cob" "R"
compare_case "missing file at the prompts" "" "$(printf 'missing\nq\n')"
for option in --help --version; do compare_case "$option" "" "" "$option"; done
echo "compared $compared files and streams: $((compared - differing)) byte-identical, $differing differing"
((differing == 0))
