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
start_window_manager
start_tray # up once its panel shows (it takes the tray selection before)
tray_width() { xdotool getwindowgeometry "$tray" 2>/dev/null | awk '/Geometry/ {split($2, a, "x"); print a[1]}'; }
start_program "$program" "$assets"

visible() { xdotool search --onlyvisible --name "VELNORA Manager 3.6" 2>/dev/null | wc -l; }
win=""
for _ in $(seq 1 300); do win=$(xdotool search --onlyvisible --name "VELNORA Manager 3.6" 2>/dev/null | head -1); [ -n "$win" ] && break; sleep 0.1; done
[ -n "$win" ] || fail "no window"
# The window manager has placed the window once it gives it the focus.
for _ in $(seq 1 300); do [ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] && break; sleep 0.1; done
[ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] || fail "the window never got the focus"
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 412 + 10)) $((Y + 10)) click 1 # the minimise area of the one-panel layout
wait_log '"Minimize Application"' 20
for _ in $(seq 1 200); do [ "$(visible)" = 0 ] && break; sleep 0.1; done
[ "$(visible)" = 0 ] || fail "the window is still shown after minimising"
# The tray icon: the right end of the tray at the top right of the screen,
# there once the tray has grown around it.
for _ in $(seq 1 200); do [ "$(tray_width)" -ge 16 ] && break; sleep 0.1; done
[ "$(tray_width)" -ge 16 ] || fail "no icon in the tray (tray $(tray_width) px wide)"
xdotool mousemove 1268 12 click 3
sleep 1 # nothing is to happen: no sign to wait for
[ "$(visible)" = 0 ] || fail "a right click restored the window"
xdotool mousemove 1268 12 click 1
for _ in $(seq 1 200); do [ "$(visible)" = 1 ] && break; sleep 0.1; done
[ "$(visible)" = 1 ] || fail "a left click on the tray icon did not restore the window"
wait_log '"Restore Application"' 20
echo "1 passed, 0 failed"
