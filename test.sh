#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Vortalis from a clean tree and runs
# every test: the main build (tests that need OpenGL run under Xvfb with
# Mesa's llvmpipe), a build with AddressSanitizer and UndefinedBehaviorSanitizer
# (LeakSanitizer included), and a short run of every fuzz target.
#
#   ./test.sh           everything
#   ./test.sh --quick   the main build and its tests only
set -uo pipefail
cd "$(dirname "$0")"

quick=0
[ "${1:-}" = "--quick" ] && quick=1
jobs=$(nproc)
fuzz_seconds=${VORTALIS_FUZZ_SECONDS:-30}
export VORTALIS_REQUIRE_DISPLAY=1
summary=()
failed=0

./scripts/install-deps.sh || exit 1

# Compiler caching when ccache is there: paths are hashed relative to this
# tree, so a clone elsewhere on the same machine reuses what was compiled.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi

xvfb() { xvfb-run -a -s "-screen 0 1280x720x24" "$@"; }

# Runs ctest in a build directory and remembers its closing counts.
run_ctest() {
  local name=$1 dir=$2; shift 2
  local log="$dir/ctest-output.txt"
  xvfb ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  local total fails
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  summary+=("$name: $(( ${total:-0} - ${fails:-0} )) passed, ${fails:-0} failed")
  passed_total=$(( ${passed_total:-0} + ${total:-0} - ${fails:-0} ))
  failed_total=$(( ${failed_total:-0} + ${fails:-0} ))
  [ "$status" -eq 0 ] && [ -n "$line" ] || failed=1
}

# build DIR [TARGETS...] -- [CMAKE OPTIONS...]: a clean configure and build.
build() {
  local dir=$1; shift
  local targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do targets+=(--target "$1"); shift; done
  [ "${1:-}" = "--" ] && shift
  rm -rf "$dir"
  cmake -S . -B "$dir" "$@" >/dev/null && cmake --build "$dir" -j"$jobs" "${targets[@]}"
}

echo "== Formatting"
unformatted=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep -c "warning:" || true)
if [ "${unformatted:-0}" -ne 0 ]; then
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep "warning:" | cut -d: -f1 | sort -u
  echo "these files differ from .clang-format: run clang-format -i on them"
  summary+=("format: 0 passed, 1 failed"); failed_total=1; failed=1
else
  summary+=("format: 1 passed, 0 failed"); passed_total=1
fi

echo "== Main build"
if build build-test -- -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
  run_ctest main build-test
  # Every program and tool must install, together with the default content.
  missing=""
  if cmake --install build-test --prefix build-test/install-check >/dev/null; then
    for file in bin/vortalis bin/vortalis-preview bin/vortalis-beats bin/vortapack bin/vsc bin/vsasm bin/vmrun bin/jsrun \
                share/vortalis/default.vortapack \
                share/xscreensaver/config/vortalis.xml share/man/man6/vortalis.6 \
                share/applications/vortalis.desktop share/applications/screensavers/vortalis.desktop \
                share/icons/hicolor/256x256/apps/vortalis.png; do
      [ -e "build-test/install-check/$file" ] || missing="$missing $file"
    done
  else
    missing="(cmake --install failed)"
  fi
  if [ -z "$missing" ]; then
    summary+=("install: 1 passed, 0 failed"); passed_total=$(( ${passed_total:-0} + 1 ))
  else
    echo "not installed:$missing"
    summary+=("install: 0 passed, 1 failed"); failed_total=$(( ${failed_total:-0} + 1 )); failed=1
  fi
else
  echo "main build failed"; failed=1
fi

if [ "$quick" -eq 0 ]; then
  echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
  if build build-asan -- -DCMAKE_BUILD_TYPE=Debug -DVORTALIS_SANITIZE=address,undefined \
       -DVORTALIS_BENCH=OFF; then
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/tests/lsan_suppressions.txt" \
      run_ctest sanitizers build-asan -LE gl
  else
    echo "sanitizer build failed"; failed=1
  fi

  echo "== ThreadSanitizer build (the tests labelled tsan)"
  if build build-tsan tsan_tests -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       -DVORTALIS_SANITIZE=thread -DVORTALIS_BENCH=OFF; then
    TSAN_OPTIONS=halt_on_error=1 run_ctest threads build-tsan -L tsan
  else
    echo "thread sanitizer build failed"; failed=1
  fi

  echo "== Fuzz targets (${fuzz_seconds}s each)"
  if CC=clang CXX=clang++ build build-fuzz fuzzers -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORTALIS_FUZZ=ON \
       -DVORTALIS_TESTS=OFF -DVORTALIS_BENCH=OFF; then
    fuzz_ok=0; fuzz_bad=0
    for target in $(find build-fuzz/fuzz -mindepth 2 -maxdepth 2 -type f -executable | sort); do
      [ -x "$target" ] || continue
      name=$(basename "$target")
      corpus="build-fuzz/corpus-$name"
      mkdir -p "$corpus"
      source_dir="fuzz/$(basename "$(dirname "$target")")"
      seeds="$source_dir/corpus"
      [ -d "$seeds" ] || seeds=""
      # Folders of other inputs worth starting from (script tests, say).
      if [ -f "$source_dir/seed_dirs.txt" ]; then
        while read -r extra; do [ -d "$extra" ] && seeds="$seeds $extra"; done <"$source_dir/seed_dirs.txt"
      fi
      dict=""
      for file in "$source_dir"/*.dict; do [ -f "$file" ] && dict="-dict=$file"; done
      echo "-- $name"
      if "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
           -print_final_stats=0 $dict "$corpus" $seeds >"build-fuzz/$name.log" 2>&1; then
        fuzz_ok=$((fuzz_ok + 1))
      else
        tail -40 "build-fuzz/$name.log"; fuzz_bad=$((fuzz_bad + 1)); failed=1
      fi
    done
    summary+=("fuzz: $fuzz_ok passed, $fuzz_bad failed")
    passed_total=$(( ${passed_total:-0} + fuzz_ok ))
    failed_total=$(( ${failed_total:-0} + fuzz_bad ))
  else
    echo "fuzz build failed"; failed=1
  fi
fi

echo
echo "== Summary"
for line in "${summary[@]}"; do echo "  $line"; done
echo "${passed_total:-0} passed, ${failed_total:-0} failed"
exit $failed
