#!/usr/bin/env bash
# Configures and builds one build folder: scripts/build.sh [release|asan|tsan|fuzz] [extra cmake args]
# "fuzz" builds only the libFuzzer targets, with clang.
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-release}"; shift || true
case "$kind" in
  release) args=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVN_SANITIZE=address) ;;
  tsan)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVN_SANITIZE=thread) ;;
  fuzz)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVN_BUILD_FUZZ=ON -DVN_BUILD_TESTS=OFF
                 -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)
           VN_TARGETS="${VN_TARGETS:-fuzzers}" ;;
  *) echo "unknown build kind $kind" >&2; exit 2 ;;
esac
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
# Paths below the project folder are hashed relative to it, so work trees share the cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
cmake -S . -B "build/$kind" -G Ninja "${args[@]}" "$@" >/dev/null
# VN_TARGETS: build only these targets (space separated); default everything.
# VN_JOBS: parallel compile jobs; default one a core.
targets=()
for t in ${VN_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "build/$kind" -j "${VN_JOBS:-$(nproc)}" "${targets[@]}"
