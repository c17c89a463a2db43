#!/usr/bin/env bash
# A second start of the console while the first one sits in the system tray
# (openbox and trayer on a virtual screen): the second ends with status 0, the
# first comes back from the tray to the front, and only one console runs.
# Usage: second_start_test.sh PROGRAM ASSETS
set -uo pipefail
program=$1 assets=$2
source "$(dirname "$0")/common.sh"
e2e_setup second
# Door phone 1 on a loopback port where nothing listens; the others off.
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=9\r\nCheckBox2=0\r\nCheckBox3=0\r\nCheckBox4=0\r\nRemoteDoorPhoneIP2=127.0.0.2\r\nRemoteDoorPhoneIP3=127.0.0.3\r\nRemoteDoorPhoneIP4=127.0.0.4\r\n' > "$data/VELNORA_Manager.ini"

start_screen 1280x800
start_window_manager
start_tray
start_program "$program" "$assets"

visible() { xdotool search --onlyvisible --name "VELNORA Manager 3.6" 2>/dev/null | wc -l; }
wait_log "---------- START NEW INSTANCE ----------" 30
wait_main_window 30
for _ in $(seq 1 300); do [ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] && break; sleep 0.1; done
[ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] || fail "the window never got the focus"
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 412 + 10)) $((Y + 10)) click 1 # the minimise area of the one-panel layout
wait_log '"Minimize Application"' 20
for _ in $(seq 1 200); do [ "$(visible)" = 0 ] && break; sleep 0.1; done
[ "$(visible)" = 0 ] || fail "the window is still shown after minimising into the tray"

# The second start, as scripts/run.sh starts it.
(cd "$assets" && exec "$program") > "$work/second.out" 2>&1 &
second=$!
for _ in $(seq 1 300); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$second" 2>/dev/null; then
  kill "$second"; wait "$second"
  fail "the second start is still running beside the first"
fi
rc=0
wait "$second" || rc=$?
[ "$rc" = 0 ] || fail "the second start ended with status $rc: $(cat "$work/second.out")"
wait_log "Started again: the running console comes to the front" 20
wait_log '"Restore Application"' 20
for _ in $(seq 1 200); do [ "$(visible)" = 1 ] && break; sleep 0.1; done
[ "$(visible)" = 1 ] || fail "the first console did not come back from the tray"
for _ in $(seq 1 100); do [ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] && break; sleep 0.1; done
[ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] || fail "the first console did not come to the front"
kill -0 "$app" 2>/dev/null || fail "the first console ended"
[ "$(grep -c "START NEW INSTANCE" "$log")" = 1 ] || fail "the second start wrote its own banner into the log"
grep -q "linphonec" "$work/second.out" && fail "the second start began a SIP client"

kill -TERM "$app"
program_ended_cleanly 30
echo "1 passed, 0 failed"
