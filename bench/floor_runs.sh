#!/usr/bin/env bash
# floor_runs.sh [--runs N] [--side N] [--kinds "Grid Holes"] BENCH_CONVERT NAME=PROGRAM...
#   Whole runs of builds of facetor, in mode R, on the models of bench_convert (SIDE x SIDE quads, default
#   1000; BENCH_CONVERT --write makes them), side by side with the I/O floor: reading the input (cat) and
#   writing a file of the output's size (cp of the first build's output). Each round runs the floor and every
#   build once, in turns, so that a spell of load on the machine disturbs them alike; the table gives the
#   least wall time of the rounds (default 5), its ratio to the floor's, and the peak resident memory, with
#   the bound of 2 x the input + 64 MB (MB: 10^6 bytes).
#   NAME=BENCH:PROGRAM runs a bench_convert binary's case of the model instead (its wall time, in process,
#   without the program's start, the file reading and the writing of the output file).
set -euo pipefail
export LC_ALL=C
runs=5 side=1000 kinds="Grid Holes"
while (($#)); do
  case $1 in
    --runs) runs=$2 && shift ;;
    --side) side=$2 && shift ;;
    --kinds) kinds=$2 && shift ;;
    *) break ;;
  esac
  shift
done
(($# >= 2)) || { sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
composer=$(realpath "$1") && shift
work=$(mktemp -d "${TMPDIR:-/tmp}/facetor-floor-XXXXXX")
trap 'rm -rf "$work"' EXIT
TIMEFORMAT=%R

# run_once COMMAND...: prints "wall_seconds peak_kb" of one run.
run_once() {
  local wall
  wall=$( { time /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1; } 2>&1 )
  echo "$wall $(cat "$work/rss")"
}

# bench_wall PROGRAM KIND: the wall time of one bench_convert case, in seconds, and its peak memory in KB.
bench_wall() {
  "$1" --benchmark_filter="^$2/$side/" --benchmark_format=csv 2>/dev/null |
    awk -F, '/^name,/ { for (i = 1; i <= NF; ++i) if ($i == "\"peak_rss_MB\"") c = i }
             /^"/ { printf "%.4f %d", $3 / 1000, $c * 1024 }'
}

printf '%-6s %-9s %8s %8s %10s %8s %10s %10s\n' model build in_MB out_MB wall_s x_floor peak_MB bound_MB
for kind in $kinds; do
  input=$work/$kind.cob
  "$composer" --write "$kind" "$side" "$input"
  first=""
  for named in "$@"; do
    program=${named#*=}
    [[ $program == BENCH:* ]] && continue
    first=$program && break
  done
  "$first" "$input" >/dev/null
  mv "$work/$kind.rwx" "$work/reference.rwx"
  in_bytes=$(stat -c %s "$input") out_bytes=$(stat -c %s "$work/reference.rwx")
  declare -A best=() peak=()
  names=(floor)
  for named in "$@"; do names+=("${named%%=*}"); done
  for ((round = 0; round < runs; ++round)); do
    for named in floor "$@"; do
      name=${named%%=*} program=${named#*=}
      if [[ $name == floor ]]; then
        result=$(run_once sh -c 'cat "$1" >/dev/null && cp "$2" "$3"' floor "$input" "$work/reference.rwx" "$work/floor.rwx")
      elif [[ $program == BENCH:* ]]; then
        result=$(bench_wall "${program#BENCH:}" "$kind")
      else
        result=$(run_once "$program" "$input")
      fi
      read -r wall kb <<<"$result"
      if [[ -z ${best[$name]:-} ]] || awk "BEGIN { exit !($wall < ${best[$name]}) }"; then best[$name]=$wall; fi
      if [[ -z ${peak[$name]:-} ]] || ((kb > ${peak[$name]})); then peak[$name]=$kb; fi
    done
  done
  for name in "${names[@]}"; do
    awk -v k="$kind" -v n="$name" -v i="$in_bytes" -v o="$out_bytes" -v w="${best[$name]}" -v f="${best[floor]}" \
      -v p="${peak[$name]}" 'BEGIN { printf "%-6s %-9s %8.1f %8.1f %10.3f %8.2f %10.1f %10.1f\n", k, n, i / 1e6, o / 1e6, w, w / f,
        p * 1024 / 1e6, (2 * i + 64e6) / 1e6 }'
  done
  unset best peak
  rm -f "$work"/*.rwx "$input"
done
