#!/usr/bin/env bash
# Runs a command in private network and PID namespaces that have only loopback,
# so nothing it does can reach another machine, and killing processes by name
# cannot reach processes outside. Usage: scripts/in-netns.sh CMD ARGS...
set -euo pipefail
if [ "${VN_IN_NETNS:-}" = 1 ]; then exec "$@"; fi
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
exec $SUDO env VN_IN_NETNS=1 unshare --net --pid --fork --mount-proc bash -c '
  set -e
  ip link set lo up
  # Unprivileged ICMP echo sockets for the reachability monitor.
  sysctl -qw net.ipv4.ping_group_range="0 2147483647" || true
  if ip -o addr show | grep -v " lo " | grep -q inet; then echo "not an isolated namespace" >&2; exit 3; fi
  exec "$@"' bash "$@"
