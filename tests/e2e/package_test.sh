#!/usr/bin/env bash
# The installed package as a desk user meets it: its files only where an
# installed desktop program keeps them, a valid menu entry with its icon and
# description, and the program started as the menu starts it (its Exec line,
# from another folder) against a simulated door phone on a virtual screen:
# live video in panel 1, a ring shown, and a second start that brings the
# running console back from the task bar instead of starting another.
# Usage: package_test.sh SIMULATOR SOURCE_DIR OUTDIR (velnora-manager installed)
set -uo pipefail
sim=$1 src=$2 out=$3
source "$(dirname "$0")/common.sh"
e2e_setup package

dpkg-query -W -f='${Status}' velnora-manager 2>/dev/null | grep -q "install ok installed" ||
  fail "the package velnora-manager is not installed"

# Nothing outside the install layout.
layout='^/(\.|usr(/bin(/velnora-manager)?|/share(/applications(/velnora-manager\.desktop)?|/icons(/hicolor(/[0-9]+x[0-9]+(/apps(/velnora-manager\.png)?)?)?)?|/metainfo(/velnora-manager\.metainfo\.xml)?|/velnora-manager(/.*)?)?)?)$'
stray=$(dpkg -L velnora-manager | grep -vE "$layout")
[ -z "$stray" ] || fail "installed outside the layout: $stray"
# Every picture and sound the program names is installed beside it.
named=$(grep -rhoE '"[^"/:]+\.(png|wav)"' "$src/src" --include='*.cpp' --include='*.h' | tr -d '"' | sort -u)
[ "$(echo "$named" | wc -l)" -ge 20 ] || fail "the program's pictures and sounds were not found in $src/src"
while IFS= read -r f; do
  [ -f "/usr/share/velnora-manager/$f" ] || fail "not installed: $f"
done <<< "$named"


entry=/usr/share/applications/velnora-manager.desktop
autostart=/usr/share/velnora-manager/autostart/velnora-manager.desktop
desktop-file-validate "$entry" "$autostart" || fail "desktop entries do not validate"
[ "$(sed -n 's/^Name=//p' "$entry")" = "VELNORA Manager" ] || fail "the menu entry's name"
icon=$(sed -n 's/^Icon=//p' "$entry")
for size in 16 32 48 64 128 256; do
  [ "$(identify -format '%wx%h' "/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png" 2>/dev/null)" = "${size}x${size}" ] ||
    fail "no ${size}x${size} icon named $icon"
done
# The only finding allowed: the component id is the package's name, not a reversed domain.
metainfo=/usr/share/metainfo/velnora-manager.metainfo.xml
appstreamcli validate --no-net "$metainfo" > "$work/appstream.out" 2>&1
grep -E '^[EW]:' "$work/appstream.out" | grep -v 'cid-desktopapp-is-not-rdns' | grep -q . &&
  fail "AppStream description: $(cat "$work/appstream.out")"
grep -q "<launchable type=\"desktop-id\">velnora-manager.desktop</launchable>" "$metainfo" || fail "metainfo names no menu entry"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$(sed -n 's/^Exec=//p' "$autostart")" = "$exec_line" ] || fail "the autostart entry starts something else"
[ "$(command -v "${exec_line%% *}")" = /usr/bin/velnora-manager ] || fail "the menu entry does not start the installed program"

port=$(free_port)
mkfifo "$work/sim.in"
"$sim" --address 127.0.0.1 --port "$port" --name "Front Door" < "$work/sim.in" > "$work/sim.out" 2>&1 & pids+=($!)
exec 7>"$work/sim.in"
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=%s\r\nCheckBox2=0\r\nCheckBox3=0\r\nCheckBox4=0\r\nRemoteDoorPhoneIP2=127.0.0.2\r\nRemoteDoorPhoneIP3=127.0.0.3\r\nRemoteDoorPhoneIP4=127.0.0.4\r\nSipServerAdress=127.0.0.1\r\nSipProxyAdress=127.0.0.1\r\n' "$port" > "$data/VELNORA_Manager.ini"

start_screen 1280x1024
start_window_manager
# As the menu starts it: the Exec line, run from a folder that holds none of its files.
# shellcheck disable=SC2086 # the Exec line is split into words as the menu does
(cd / && exec $exec_line) > "$work/program.out" 2>&1 &
app=$!

wait_log "---------- START NEW INSTANCE ----------" 30
[ "$(readlink "/proc/$app/cwd")" = /usr/share/velnora-manager ] ||
  fail "the program works in $(readlink "/proc/$app/cwd"), not among its installed pictures"
wait_main_window 30
wait_log "YOX1: VIDEO: Video thread state changed to:1" 20
wait_log "YOX1: EVENTS: Events thread state changed to:1" 20
wait_video "$win" 30
# The SIP client starts from the installed program too, in the program's working folder.
wait_log "linphonec> " 30
import -window root "$out/package_alive.png" 2>/dev/null
echo ring >&7
wait_log "YOX1: PopUpActive" 20
echo hangup >&7
wait_log "YOX1: PopUpDeActive" 20
grep -q "192.168.1" "$work/program.out" && fail "the program mentioned a 192.168.1.x address"

# Minimised to the task bar (no tray here), then started again from the menu.
xdotool windowminimize "$win"
wait_log '"Minimize Application"' 20
for _ in $(seq 1 100); do [ -z "$(xdotool search --onlyvisible --name "VELNORA Manager 3.6" 2>/dev/null)" ] && break; sleep 0.1; done
# shellcheck disable=SC2086
(cd / && exec $exec_line) > "$work/second.out" 2>&1 &
second=$!
for _ in $(seq 1 300); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$second" 2>/dev/null; then
  kill "$second"; wait "$second"
  fail "the second start is still running beside the first"
fi
second_rc=0
wait "$second" || second_rc=$?
[ "$second_rc" = 0 ] || fail "the second start ended with status $second_rc: $(cat "$work/second.out")"
wait_log "Started again: the running console comes to the front" 20
wait_log '"Restore Application"' 20
for _ in $(seq 1 100); do [ -n "$(xdotool search --onlyvisible --name "VELNORA Manager 3.6" 2>/dev/null)" ] && break; sleep 0.1; done
[ -n "$(xdotool search --onlyvisible --name "VELNORA Manager 3.6" 2>/dev/null)" ] || fail "the running console was not shown"
for _ in $(seq 1 100); do [ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] && break; sleep 0.1; done
[ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] || fail "the running console did not come to the front"
kill -0 "$app" 2>/dev/null || fail "the first console ended"
[ "$(grep -c "START NEW INSTANCE" "$log")" = 1 ] || fail "a second console started"
[ "$(xdotool search --name "VELNORA Manager 3.6" 2>/dev/null | wc -l)" = 1 ] || fail "more than one console window"

kill -TERM "$app"
program_ended_cleanly 30
tail -3 "$log" | tr -d '\r' | awk -F'\t' '{print $2}' > "$work/last3"
printf '""\n"*************  STOP  *******************"\n""\n' | diff - "$work/last3" >/dev/null || fail "stop entries missing"
# The program and its SIP client worked among the installed files (as root here,
# where nothing would stop a write): they wrote nothing there.
written=$(comm -13 <(dpkg -L velnora-manager | sort) <(find /usr/share/velnora-manager | sort))
[ -z "$written" ] || fail "written into the installed folder: $written"
echo "1 passed, 0 failed"
