#!/usr/bin/env bash
# Long fuzzing runs: builds every fuzz target with clang in a build directory
# of its own and runs each one for SECONDS (default 600), one after another,
# so that a run never takes more than one core.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# Each target's corpus is kept between runs in $VORTALIS_FUZZ_HOME (default
# ~/.cache/vortalis-fuzz)/TARGET/corpus, so that every run goes on where the
# last one stopped; the seeds in fuzz/DIR/corpus, the folders listed in
# fuzz/DIR/seed_dirs.txt and fuzz/DIR/*.dict are used as the short CI run uses
# them. For every target the script prints the inputs run, inputs per second,
# peak resident size and the total of inputs run over all runs so far. An
# input that crashed, leaked, timed out or ran out of memory is kept under
# .../TARGET/findings/ and its name printed; the script then exits non-zero
# (after running the other targets).
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
[ $# -gt 0 ] && shift
wanted=("$@")
home=${VORTALIS_FUZZ_HOME:-$HOME/.cache/vortalis-fuzz}
build=${VORTALIS_FUZZ_BUILD:-build-fuzz-run}

if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
# VORTALIS_FUZZ_SKIP_BUILD=1 runs the targets already built in $build.
if [ "${VORTALIS_FUZZ_SKIP_BUILD:-0}" != 1 ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORTALIS_FUZZ=ON \
    -DVORTALIS_TESTS=OFF -DVORTALIS_BENCH=OFF >/dev/null || exit 1
  cmake --build "$build" -j"$(nproc)" --target fuzzers >"$build/fuzzers-build.log" 2>&1 || {
    tail -30 "$build/fuzzers-build.log"; echo "fuzz build failed"; exit 1; }
fi

final_stat() { grep -m1 "^stat::$1:" "$2" | awk '{print $2}'; }

found=0
printf '%-18s %12s %9s %9s %14s  %s\n' target runs exec/s rss_mb total_runs result
for target in $(find "$build/fuzz" -mindepth 2 -maxdepth 2 -type f -executable | sort); do
  name=$(basename "$target")
  if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " =~ " $name " ]]; then continue; fi
  source_dir="fuzz/$(basename "$(dirname "$target")")"
  corpus="$home/$name/corpus"
  findings="$home/$name/findings"
  mkdir -p "$corpus" "$findings"
  seeds=()
  [ -d "$source_dir/corpus" ] && seeds+=("$source_dir/corpus")
  if [ -f "$source_dir/seed_dirs.txt" ]; then
    while read -r extra; do [ -d "$extra" ] && seeds+=("$extra"); done <"$source_dir/seed_dirs.txt"
  fi
  dict=()
  for file in "$source_dir"/*.dict; do [ -f "$file" ] && dict=("-dict=$file"); done
  log="$home/$name/last-run.log"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "${dict[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1
  status=$?
  runs=$(final_stat number_of_executed_units "$log")
  total_file="$home/$name/total-runs"
  total=$(( $(cat "$total_file" 2>/dev/null || echo 0) + ${runs:-0} ))
  echo "$total" >"$total_file"
  result=ok
  if [ "$status" -ne 0 ]; then
    found=1
    artifact=$(grep -o "Test unit written to .*" "$log" | tail -1 | sed 's/Test unit written to //')
    result="FINDING ${artifact:-(see $log)}"
  fi
  printf '%-18s %12s %9s %9s %14s  %s\n' "$name" "${runs:-?}" \
    "$(final_stat average_exec_per_sec "$log")" "$(final_stat peak_rss_mb "$log")" "$total" "$result"
  [ "$status" -ne 0 ] && grep -m1 -E "^==[0-9]+==ERROR|^SUMMARY" "$log"
done
exit $found
