#!/usr/bin/env bash
# SIGTERM during a call that is being recorded: the program closes as by its
# close button, and the recording so far is a complete AVI file.
# Usage: sigterm_record_test.sh PROGRAM SIMULATOR ASSETS
set -uo pipefail
program=$1 sim=$2 assets=$3
source "$(dirname "$0")/common.sh"
e2e_setup sigterm

port=$(free_port)
mkfifo "$work/sim.in"
"$sim" --address 127.0.0.1 --port "$port" --name "Front Door" < "$work/sim.in" > "$work/sim.out" 2>&1 & pids+=($!)
exec 7>"$work/sim.in"
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=%s\r\nSaveToAVI=1\r\n' "$port" > "$data/VELNORA_Manager.ini"

start_screen 1280x1024
start_program "$program" "$assets"
wait_log "YOX1: VIDEO: Video thread state changed to:1" 30
wait_log "YOX1: EVENTS: Events thread state changed to:1" 30

echo call >&7
wait_log "YOX1: AVI: record started" 20
wait_log "YOX1: AVI: first picture recorded" 30
kill -TERM "$app"
program_ended_cleanly 30

lines=$(tr -d '\r' < "$log" | awk -F'\t' '{print $2}')
frames=$(echo "$lines" | grep -oP '^"YOX1: AVI: record stopped with \K[0-9]+' | head -1)
[ -n "$frames" ] || fail "the recording was not handed over at close"
avi=$(echo "$lines" | grep -oP '^"Save AVI to \K[^"]*' | head -1)
[ -f "$avi" ] || fail "no AVI file: '$avi'"
saved_at=$(echo "$lines" | grep -n '^"Save AVI to ' | head -1 | cut -d: -f1)
stop_at=$(echo "$lines" | grep -n 'STOP' | tail -1 | cut -d: -f1)
[ "$saved_at" -lt "$stop_at" ] || fail "the file was saved after the stop entries"
riff=$(od -An -tu4 -j4 -N4 "$avi" | tr -d ' ')
[ "$riff" = $(( $(stat -c %s "$avi") - 8 )) ] || fail "RIFF size $riff does not match the file"
probe=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$avi")
[ "$probe" = "$frames" ] || fail "AVI reads $probe frames, $frames were recorded"
echo "1 passed, 0 failed ($frames frames)"
