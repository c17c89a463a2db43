#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite inside a
# loopback-only network namespace: the Release build runs every test, the
# ASan+UBSan build the tests labelled "sanitize" (the whole program among them,
# end to end), the TSan build those labelled "threads". The Release build is then
# packaged, installed on this machine and started as the desktop menu starts it
# (removed again afterwards). Every benchmark and fuzz target is built and run
# briefly.
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

echo "== Debian package: build, install, start as the menu does"
(cd build/release && rm -f velnora-manager_*.deb && cpack -G DEB)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
remove_package() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq velnora-manager >/dev/null; }
# An installed copy of the same version would be kept by apt instead of this one.
if dpkg-query -W -f='${Status}' velnora-manager 2>/dev/null | grep -q "install ok installed"; then remove_package; fi
trap remove_package EXIT
# Every dependency is already there (scripts/deps.sh): apt is to fetch nothing.
extra=$($SUDO apt-get install -s ./build/release/velnora-manager_*.deb | awk '/^Inst / && $2 != "velnora-manager" {print $2}')
if [ -n "$extra" ]; then echo "the package needs what scripts/deps.sh does not install: $extra" >&2; exit 1; fi
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y ./build/release/velnora-manager_*.deb
bash scripts/in-netns.sh bash tests/e2e/package_test.sh build/release/tools/doorphone-sim/doorphone-sim "$PWD" \
  build/release/tests/e2e
remove_package
trap - EXIT

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
