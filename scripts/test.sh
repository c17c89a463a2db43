#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite inside a
# loopback-only network namespace: the Release build runs every test, the
# ASan+UBSan build the tests labelled "sanitize" (the whole program among them,
# end to end), the TSan build those labelled "threads". Every benchmark and fuzz
# target is built and run briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

run_ctest() { # build-folder [ctest args]
  local dir="$1"; shift
  bash scripts/in-netns.sh ctest --test-dir "$dir" --output-on-failure --no-tests=error -j 2 "$@"
}

echo "== Release build and full suite"
bash scripts/build.sh release -DVN_BUILD_BENCH=ON
run_ctest build/release

# Benchmarks and fuzz targets are built and run briefly so that none rots;
# no figure is checked here.
echo "== Benchmarks, short runs"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
bash scripts/in-netns.sh build/release/bench/bench_video --benchmark_min_time=0.01
bash scripts/in-netns.sh build/release/bench/bench_panel_latency 2
bash scripts/in-netns.sh build/release/bench/bench_ring_latency 2
echo "== Fuzz targets: seed corpora, then ${VN_FUZZ_SECONDS:-10} s each"
bash scripts/build.sh fuzz
bash scripts/fuzz.sh "${VN_FUZZ_SECONDS:-10}"

if [ "${VN_SKIP_SANITIZERS:-}" != 1 ]; then
  echo "== ASan+UBSan build"
  bash scripts/build.sh asan
  run_ctest build/asan -L sanitize
  echo "== TSan build"
  bash scripts/build.sh tsan
  run_ctest build/tsan -L threads
fi
echo "test suite: all passed"
