#!/usr/bin/env bash
# With a window manager and a system tray (openbox, trayer) on a virtual
# screen: the minimise area hides the window into the tray, a right click on
# the tray icon does nothing, a left click restores the window.
# Usage: tray_test.sh PROGRAM ASSETS
set -uo pipefail
program=$1 assets=$2
source "$(dirname "$0")/common.sh"
e2e_setup tray
# Door phone 1 on a loopback port where nothing listens.
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=9\r\n' > "$data/VELNORA_Manager.ini"

start_screen 1280x800
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 & pids+=($!)
sleep 2 # the tray takes about 1.5 s to come up
start_program "$program" "$assets"

visible() { xdotool search --onlyvisible --name "VELNORA Manager 3.6" 2>/dev/null | wc -l; }
win=""
for _ in $(seq 1 50); do win=$(xdotool search --onlyvisible --name "VELNORA Manager 3.6" 2>/dev/null | head -1); [ -n "$win" ] && break; sleep 0.1; done
[ -n "$win" ] || fail "no window"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 412 + 10)) $((Y + 10)) click 1 # the minimise area of the one-panel layout
sleep 1.5
[ "$(visible)" = 0 ] || fail "the window is still shown after minimising"
grep -q '"Minimize Application"' "$log" || fail "no Minimize Application entry"
# The tray icon: the right end of the tray at the top right of the screen.
xdotool mousemove 1268 12 click 3
sleep 1
[ "$(visible)" = 0 ] || fail "a right click restored the window"
xdotool mousemove 1268 12 click 1
for _ in $(seq 1 30); do [ "$(visible)" = 1 ] && break; sleep 0.1; done
[ "$(visible)" = 1 ] || fail "a left click on the tray icon did not restore the window"
grep -q '"Restore Application"' "$log" || fail "no Restore Application entry"
echo "1 passed, 0 failed"
