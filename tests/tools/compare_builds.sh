#!/usr/bin/env bash
# Runs two builds of facetor on the same inputs and compares, byte for byte,
# everything a user sees: standard output, standard error, the exit code and
# every output file, in every mode of both regimes.
#
#   compare_builds.sh REFERENCE CANDIDATE INPUT.cob...
#
# A program whose name ends in ".exe" is run through $FACETOR_EMULATOR
# (default: wine). Prints one line per difference and a summary; the exit
# code is 1 when anything differs.
set -uo pipefail

if (($# < 3)); then
  echo "usage: $0 REFERENCE CANDIDATE INPUT.cob..." >&2
  exit 2
fi
reference=$(realpath "$1")
candidate=$(realpath "$2")
shift 2

work=$(mktemp -d "${TMPDIR:-/tmp}/facetor-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT

compared=0
differing=0

run() {  # run PROGRAM FOLDER STDIN ARGUMENTS...: leaves out, err, code in FOLDER
  local program=$1 folder=$2 typed=$3
  shift 3
  local launcher=()
  [[ $program == *.exe ]] && launcher=("${FACETOR_EMULATOR:-wine}")
  (cd "$folder" && printf '%s' "$typed" | "${launcher[@]}" "$program" "$@" >out 2>err; echo $? >code)
  # What the emulator itself says on a busy machine is no output of the program.
  if ((${#launcher[@]} > 0)); then
    grep -avE '^(wine: |[0-9a-f]{4}:(err|fixme|warn):)' "$folder/err" >"$folder/err.kept"
    mv "$folder/err.kept" "$folder/err"
  fi
}

check() {  # check LABEL: compares every file of the two folders
  local label=$1 name
  for name in $(cd "$work/a" && ls -A); do
    compared=$((compared + 1))
    if ! cmp -s "$work/a/$name" "$work/b/$name"; then
      echo "differs: $label: $name"
      if [[ $name == err || $name == code ]]; then
        echo "  reference: $(head -c 300 "$work/a/$name")"
        echo "  candidate: $(head -c 300 "$work/b/$name")"
      fi
      differing=$((differing + 1))
    fi
  done
  for name in $(cd "$work/b" && ls -A); do
    [[ -e $work/a/$name ]] || { echo "differs: $label: only the candidate wrote $name"; differing=$((differing + 1)); }
  done
}

# One case: fresh folders holding a copy of the input, both programs run.
compare_case() {  # compare_case LABEL INPUT STDIN ARGUMENTS...
  local label=$1 input=$2 typed=$3
  shift 3
  rm -rf "$work/a" "$work/b"
  mkdir "$work/a" "$work/b"
  if [[ -n $input ]]; then cp "$input" "$work/a/" && cp "$input" "$work/b/"; fi
  run "$reference" "$work/a" "$typed" "$@"
  run "$candidate" "$work/b" "$typed" "$@"
  check "$label"
}

for input in "$@"; do
  name=$(basename "$input")
  stem=${name%.*}
  # Command-line regime: the file modes, the screen modes (exit code 3), an
  # unknown mode (4), the default mode and the name without ".cob".
  for mode in R A D H I x ""; do
    compare_case "$name $mode" "$input" "" "$name" "$mode"
  done
  compare_case "$stem" "$input" "" "$stem"
  # Interactive regime: every mode, one after the other, in one run.
  compare_case "$name at the prompts" "$input" \
    "$(printf '%s\nR\n%s\nA\n%s\nD\n%s\nH\n%s\nI\n%s\nzebra\nQ\n' "$name" "$name" "$name" "$name" "$name" "$name")"
done
compare_case "missing file" "" "" "missing.cob" "R"
compare_case "missing file at the prompts" "" "$(printf 'missing\nq\n')"
compare_case "help" "" "" "--help"
compare_case "version" "" "" "--version"

echo "compared $compared files and streams: $((compared - differing)) byte-identical, $differing differing"
((differing == 0))
