#!/usr/bin/env bash
# Starts the program with an empty private HOME on a virtual screen, against a
# simulated door phone on loopback, and checks what a desk user would see:
# the data folder and banner, the frameless one-panel window, the door phone
# coming alive, a ring, and the close button's stop entries.
# Usage: program_test.sh PROGRAM SIMULATOR ASSETS OUTDIR
set -uo pipefail
program=$1 sim=$2 assets=$3 out=$4
source "$(dirname "$0")/common.sh"
e2e_setup e2e

port=$(free_port)
mkfifo "$work/sim.in"
"$sim" --address 127.0.0.1 --port "$port" --name "Front Door" < "$work/sim.in" > "$work/sim.out" 2>&1 & pids+=($!)
exec 7>"$work/sim.in"

# The settings exist before the start (door phone 1 on the simulator), as after
# a first run in which the user typed them in.
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=%s\r\nSaveToAVI=1\r\nSaveToJPG=1\r\n' "$port" > "$data/VELNORA_Manager.ini"

start_screen 1280x1024
start_program "$program" "$assets"

wait_log "---------- START NEW INSTANCE ----------" 30
[ -d "$data" ] || fail "data folder missing"
head -1 "$log" | grep -qP '^[^\t]+\t"-{40}"\r$' || fail "first line is not the banner in the file format"

wait_main_window 30
geometry=$(xdotool getwindowgeometry "$win" | awk '/Geometry/ {print $2}')
[ "$geometry" = "460x375" ] || fail "window is $geometry, not 460x375"
# Motif hints: flags, functions, decorations: decorations 0 is a window without a frame.
hints=$(xprop -id "$win" _MOTIF_WM_HINTS)
[ "$(echo "$hints" | sed 's/.*= //' | awk -F', ' '{print $3}')" = "0x0" ] || fail "the window asks for a frame: $hints"

wait_log "YOX1: PING: ping state to IP127.0.0.1 changed to :1" 20
wait_log "YOX1: VIDEO: Video thread state changed to:1" 20
wait_log "YOX1: EVENTS: Events thread state changed to:1" 20
wait_video "$win" 30
import -window root "$out/e2e_alive.png" 2>/dev/null
echo ring >&7
wait_log "YOX1: PopUpActive" 20
echo hangup >&7
wait_log "YOX1: PopUpDeActive" 20
grep -q "192.168.1" "$work/program.out" && fail "the program mentioned a 192.168.1.x address"
grep -qE '"YOX[234]: (PING|EVENTS|MJPEG|VIDEO)' "$log" && fail "a disabled door phone was watched"

# A call taken at the desk: a snapshot, and a recording that becomes an AVI file.
echo call >&7
wait_log "YOX1: AVI: record started" 20
# A call that ends before the recording holds a picture hands nothing over.
wait_log "YOX1: AVI: first picture recorded" 30
echo hangup >&7
wait_log "AVICollection available" 20
wait_log "\"Save AVI to " 30
snapshot=$(grep -oP 'YOX1: Save snapshot to "\K[^"]*' "$log" | tr -d '\r' | head -1)
[ -f "$snapshot" ] || fail "no snapshot file: $snapshot"
[ "$(head -c 2 "$snapshot" | od -An -tx1 | tr -d ' ')" = "ffd8" ] || fail "the snapshot is not a JPEG"
frames=$(grep -oP 'YOX1: AVI: record stopped with \K[0-9]+' "$log" | head -1)
avi=$(ls "$HOME/Documents/VELNORA Manager/Record/"*.AVI | head -1)
probe=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames -of csv=p=0 "$avi")
[ "$probe" = "rawvideo,320,240,bgr24,6/1,$frames" ] || fail "AVI reads as '$probe', expected $frames frames"

# The close area of the one-panel layout: window x 434..454, y 1..25.
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 444)) $((Y + 10)) click 1
program_ended_cleanly 30
tail -3 "$log" | tr -d '\r' | awk -F'\t' '{print $2}' > "$work/last3"
printf '""\n"*************  STOP  *******************"\n""\n' | diff - "$work/last3" >/dev/null || fail "stop entries missing"
echo "1 passed, 0 failed"
