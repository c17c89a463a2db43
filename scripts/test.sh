#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite inside a
# loopback-only network namespace: the Release build runs every test, the
# ASan+UBSan build the tests labelled "sanitize", the TSan build those labelled
# "threads".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

run_ctest() { # build-folder [ctest args]
  local dir="$1"; shift
  bash scripts/in-netns.sh ctest --test-dir "$dir" --output-on-failure --no-tests=error -j 2 "$@"
}

echo "== Release build and full suite"
bash scripts/build.sh release
run_ctest build/release

if [ "${VN_SKIP_SANITIZERS:-}" != 1 ]; then
  echo "== ASan+UBSan build"
  bash scripts/build.sh asan
  run_ctest build/asan -L sanitize
  echo "== TSan build"
  bash scripts/build.sh tsan
  run_ctest build/tsan -L threads
fi
echo "test suite: all passed"
