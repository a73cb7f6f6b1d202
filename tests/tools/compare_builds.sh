#!/usr/bin/env bash
# compare_builds.sh [OPTIONS] REFERENCE CANDIDATE [INPUT...]
#   Runs two builds of facetor on the same inputs and compares exit codes, standard output and error and every
#   output file byte for byte. Prints each difference and a summary; exits 1 when anything differs or the
#   candidate fails a run (below).
# compare_builds.sh --digest MANIFEST [--update] [OPTIONS] BUILD [INPUT...]
#   Runs one build and compares a digest of the results of each input (and of each session) with MANIFEST;
#   --update writes MANIFEST instead.
# A run fails with an exit code above 5 (a crash, or more than $FACETOR_CPU_SECONDS, default 60, of CPU) or a
# sanitizer report. INPUT is a COB file or a folder of them. OPTIONS add inputs:
#   --generate N [--first S] [--faults RATE]   N generated files of each kind (seeds S, S+1, ...; S is 1 unless
#                                              given), made by $COBGEN (default: tests/cobgen beside the build)
#   --standard                                 the examples, the samples, the fuzz corpus and seeds, and 20
#                                              damaged variants of each example
# Every input is converted on the command line in mode R, every fourth also in A and every fourth in D (the named
# ones in A, D, H, I, an unknown mode, none, and by the name without ".cob"), and at the prompts in sessions of 50
# files, each file in the modes R, A, D, H and I in an order that turns from file to file. Inputs go in rounds of
# 2,000, each build in two jobs.
# A *.exe runs through $FACETOR_EMULATOR (default: wine). --keep leaves the work folder.
set -uo pipefail
export LC_ALL=C  # the same order of inputs everywhere
here=$(cd "$(dirname "$0")" && pwd)
manifest="" update=0 generate=0 first=1 faults=0.02 standard=0 keep=0 builds=() inputs=()
while (($#)); do
  case $1 in
    --digest) manifest=$2 && shift ;;
    --update) update=1 ;;
    --generate) generate=$2 && shift ;;
    --first) first=$2 && shift ;;
    --faults) faults=$2 && shift ;;
    --standard) standard=1 ;;
    --keep) keep=1 ;;
    *) if ((${#builds[@]} < (${#manifest} ? 1 : 2))); then builds+=("$(realpath "$1")"); else inputs+=("$1"); fi ;;
  esac
  shift
done
((${#builds[@]} == (${#manifest} ? 1 : 2))) || { sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/facetor-compare-XXXXXX")
((keep)) && echo "work folder: $work" || trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"

cobgen=${COBGEN:-$(dirname "${builds[-1]}")/tests/cobgen}
gen() { "$cobgen" "$@" --out "$work/in" || { echo "cannot generate with $cobgen" >&2; exit 2; }; }
shopt -s nullglob
if ((standard)); then
  inputs+=("$here"/../../examples/*.cob "$here"/../../../shared/samples/*.cob "$here"/../fuzz/{corpus,seeds}/*.cob)
fi
for input in "${inputs[@]}"; do
  [[ -d $input ]] && input=("$input"/*.cob)
  cp -n -- "${input[@]}" "$work/in/" || exit 2
done
mapfile -t named < <(cd "$work/in" && ls -A)  # the named inputs come first and get every case
if ((standard)); then for example in "$here"/../../examples/*.cob; do gen --kind damaged --base "$example" --seeds 1 20; done; fi
if ((generate)); then for kind in scene avatar diag damaged; do gen --kind "$kind" --seeds "$first" "$generate" --faults "$faults"; done; fi
mapfile -t all < <(cd "$work/in" && printf '%s\n' "${named[@]}" && ls -A | grep -vxF -f <(printf '%s\n' "${named[@]}" '')) && all=("${all[@]:${#named[@]} ? 0 : 1}")

# run OUT IN ARGS...: one run of $program (through $launcher) with standard input from IN, output in OUT, error in
# OUT's .err and the exit code in its .code. The program always prints its banner, so a run under the emulator with
# no output and the emulator's own message ("wine: ...") never started; it runs again, up to three times.
run() {
  local out=$1 in=$2 code tries=1
  shift 2
  while :; do
    (ulimit -t "${FACETOR_CPU_SECONDS:-60}" && exec "${launcher[@]}" "$program" "$@") <"$in" >"$out" 2>"${out%.out}.err"
    code=$?
    ((${#launcher[@]} && tries < 3)) && [[ ! -s $out ]] && grep -q -- '^wine: ' "${out%.out}.err" || break
    echo "the emulator did not start ${out%.out} (try $tries): $(grep -m1 -- '^wine: ' "${out%.out}.err")" >&2
    tries=$((tries + 1))
  done
  echo "$code" >"${out%.out}.code"
}
# run_all PROGRAM FOLDER FIRST COUNT PART: the cases of inputs FIRST to FIRST + COUNT - 1 whose session is PART
# modulo 2, with their results in FOLDER.
run_all() {
  local program=$1 dir=$2 start=$3 count=$4 part=$5 i k name mode modes typed session order
  for ((session = start / 50 + part; session * 50 < start + count; session += 2)); do
    typed=""
    for ((i = session * 50; i < start + count && i < session * 50 + 50; ++i)); do
      name=${all[i]} modes=R
      ((i % 4 != 1 && i >= ${#named[@]})) || modes+=A
      ((i % 4 != 3 && i >= ${#named[@]})) || modes+=D
      ((i >= ${#named[@]})) || modes+=HIx
      cd "$dir/cmd" || return
      for ((k = 0; k < ${#modes}; ++k)); do
        mode=${modes:k:1}
        run "$name.$mode.out" /dev/null "$name" "$mode"
      done
      if ((i < ${#named[@]})); then
        cd "$dir/none" && run "$name.out" /dev/null "$name"
        cd "$dir/stem" && run "$name.out" /dev/null "${name%.*}"
      fi
      order=RADHIRADHI && order=${order:i % 5:5}
      for ((k = 0; k < 5; ++k)); do typed+="$name"$'\n'"${order:k:1}"$'\n'; done
    done
    cd "$dir/session" && printf '%szebra\nmissing\nq\n' "$typed$name"$'\n' >"$session.in" &&
      run "$session.out" "$session.in" && rm "$session.in"
  done
}
# results NAME PROGRAM FIRST COUNT: runs PROGRAM on those inputs in two jobs into $work/NAME, beside copies of them.
results() {
  local dir=$work/$1 program=$2 start=$3 count=$4 folder launcher=()
  [[ $program != *.exe ]] || launcher=("${FACETOR_EMULATOR:-wine}")
  for folder in cmd session none stem; do mkdir -p "$dir/$folder" && (cd "$work/in" && cp -- "${all[@]:start:count}" "$dir/$folder/"); done
  if ((start == 0)); then
    mkdir -p "$dir/misc" && (cd "$dir/misc" && for option in --help --version missing.cob; do run "$option.out" /dev/null $option; done)
  fi
  run_all "$program" "$dir" "$start" "$count" 0 & run_all "$program" "$dir" "$start" "$count" 1 &
  wait
  # What the emulator itself says on a busy machine is no output of the program.
  [[ $program != *.exe ]] || find "$dir" -name '*.err' -exec sed -i -E '/^(wine: |[0-9a-f]{4}:(err|fixme|warn):)/d' {} +
  find "$dir" -name '*.cob' -delete
}
# failures DIR: the results in DIR of runs that crashed, ran out of time or had a sanitizer report.
failures() { (cd "$1" && grep -lE 'Sanitizer|runtime error' -r . --include='*.err'; grep -lvxE '[0-5]' -r . --include='*.code'); }
digest() { tail -n +1 -- "$@" | sha256sum | cut -c1-32; }  # the names and the contents of the files

started=$SECONDS results=0 differing=0 failed=0 round=2000
: >"$work/digests"
for ((start = 0; start < ${#all[@]}; start += round)); do
  count=$((${#all[@]} - start < round ? ${#all[@]} - start : round))
  if [[ -z $manifest ]]; then
    results reference "${builds[0]}" "$start" "$count" & results candidate "${builds[1]}" "$start" "$count"
    wait
    results=$((results + $(find "$work/reference" "$work/candidate" -type f -printf '%P\n' | sort -u | wc -l)))
    while IFS= read -r line; do
      echo "differs: $line" && differing=$((differing + 1))
      [[ $line != *.out && $line != *.err && $line != *.code ]] || ((differing > 20)) ||
        printf '  reference: %s\n  candidate: %s\n' "$(head -c 300 "$work/reference/$line" 2>&1)" "$(head -c 300 "$work/candidate/$line" 2>&1)"
    done < <(diff -rq "$work/reference" "$work/candidate" | sed -E "s#^Files $work/reference/(.*) and .* differ#\1#; s#^Only in $work/[a-z]+/?(.*): #\1/#")
    checked=$work/candidate
  else
    results build "${builds[0]}" "$start" "$count"
    (cd "$work/build" && for name in "${all[@]:start:count}"; do echo "$name $(digest */"${name%.*}".*)"; done &&
      for file in session/*.out; do echo "${file%.out} $(digest "${file%.out}".*)"; done &&
      if [[ -d misc ]]; then echo "misc $(digest misc/*)"; fi) >>"$work/digests"
    checked=$work/build
  fi
  for file in $(failures "$checked"); do echo "failed: $file: $(head -c 300 "$checked/$file")" && failed=$((failed + 1)); done
  ((keep)) && mkdir "$work/$start" && mv "$work"/{reference,candidate,build} "$work/$start/" 2>/dev/null
  rm -rf "$work/reference" "$work/candidate" "$work/build"
done
echo "${#all[@]} inputs (${#named[@]} named) in $((SECONDS - started)) s: $failed failed runs"
if [[ -z $manifest ]]; then
  echo "compared $results results: $((results - differing)) byte-identical, $differing differing"
  ((differing == 0 && failed == 0))
  exit
fi
((failed == 0)) || exit 1
if ((update)); then cp "$work/digests" "$manifest" && echo "wrote $manifest" && exit 0; fi
diff "$manifest" "$work/digests" && echo "every result as in $manifest" && exit 0
echo "results differ from $manifest; an intended change updates it with --update and says why in its commit"
exit 1
