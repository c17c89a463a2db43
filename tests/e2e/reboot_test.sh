#!/usr/bin/env bash
# A door phone "reboots" under the running program: its address is black-holed
# for 20 s (ping included, like a pulled cable) while it forgets its
# connections without closing them, then it is back. A ring after that must be
# shown, and live video must come back. Prints the measured recovery times.
# Needs root inside the private loopback namespace (scripts/in-netns.sh) and nft.
# Usage: reboot_test.sh PROGRAM SIMULATOR ASSETS
set -uo pipefail
program=$1 sim=$2 assets=$3
if [ "${VN_IN_NETNS:-}" != 1 ] || [ "$(id -u)" -ne 0 ] || ! command -v nft >/dev/null; then
  echo "SKIP: needs root inside scripts/in-netns.sh and nft (Debian package nftables)"
  exit 77
fi
source "$(dirname "$0")/common.sh"
e2e_setup reboot
table="vn_e2e_reboot_$$"
lift() { nft delete table inet "$table" 2>/dev/null; }
on_fail() { lift; }
trap 'lift; e2e_cleanup' EXIT
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

door=127.0.0.2
port=$(free_port)
mkfifo "$work/sim.in"
"$sim" --address "$door" --port "$port" --name "Front Door" < "$work/sim.in" > "$work/sim.out" 2>&1 & pids+=($!)
exec 7>"$work/sim.in"
printf '[global]\r\nRemoteDoorPhoneIP1=%s\r\nRemoteDoorVideoPort1=%s\r\n' "$door" "$port" > "$data/VELNORA_Manager.ini"

start_screen 1280x1024
start_program "$program" "$assets"
wait_main_window 10

wait_log "YOX1: PING: ping state to IP$door changed to :1" 20
wait_log "YOX1: EVENTS: Events thread state changed to:1" 20
wait_video "$win" 40

# The reboot: the device forgets every connection, and nothing reaches it for 20 s.
echo forget >&7
nft add table inet "$table" && nft add chain inet "$table" input '{ type filter hook input priority 0; }' &&
  nft add rule inet "$table" input ip daddr "$door" drop || fail "cannot add the nft rule"
down=$(now)
wait_log "YOX1: PING: ping state to IP$door changed to :0" 40
left=$(awk -v a="$down" -v b="$(now)" 'BEGIN { d = 20 - (b - a); print (d > 0 ? d : 0) }')
sleep "$left"
lift
back=$(now)
echo ring >&7

wait_log "YOX1: PopUpActive" 90
ring_s=$(since "$back")
wait_video "$win" 80
video_s=$(since "$back")
echo hangup >&7
wait_log "YOX1: PopUpDeActive" 20
echo "recovery after the door phone came back: ring shown after ${ring_s} s, live video after ${video_s} s"
echo "1 passed, 0 failed"
