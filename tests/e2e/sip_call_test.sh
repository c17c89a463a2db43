#!/usr/bin/env bash
# The program with its real console SIP client on a virtual screen, and a
# door phone: the simulator for its HTTP side and a second real linphonec for
# its SIP side, all on loopback. A call from the door asks the question, Yes
# routes it to the panel whose address is in the call, the panel's telephone
# button ends it, and an unanswered call is refused after the ring time.
# Usage: sip_call_test.sh PROGRAM SIMULATOR ASSETS
set -uo pipefail
program=$1 sim=$2 assets=$3
command -v linphonec >/dev/null || { echo "linphonec missing"; exit 1; }
source "$(dirname "$0")/common.sh"
e2e_setup sip-e2e
on_fail() { [ -f "$work/door.out" ] && sed 's/^/  door: /' "$work/door.out" | tail -15; }

# The door phone's HTTP side, with a short waiting time before a call.
port=$(free_port)
mkfifo "$work/sim.in"
"$sim" --address 127.0.0.1 --port "$port" --name "Front Door" --sip door --time-before-call 2 < "$work/sim.in" > "$work/sim.out" 2>&1 & pids+=($!)
exec 7>"$work/sim.in"
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=%s\r\nSaveToJPG=1\r\nJPGDirectory=%s\r\n' "$port" "$work" > "$data/VELNORA_Manager.ini"

# The door phone's SIP side: its own linphonec on 127.0.0.1:5071.
door="$work/door"; mkdir -p "$door/.local/share/linphone"
cat > "$door/.linphonerc" <<RC
[sip]
sip_port=5071
sip_tcp_port=0
sip_tls_port=0
bind_address=127.0.0.1
ipv6_migration_done=1
use_ipv6=0
guess_hostname=0
contact=sip:door@127.0.0.1
[rtp]
audio_rtp_port=7178
video_rtp_port=7180
text_rtp_port=7182
bind_address=127.0.0.1
[video]
capture=0
display=0
automatically_initiate=0
RC

start_screen 1280x1024
start_program "$program" "$assets"
# Yes on the question, pressed again until the desk answers the call (a key
# sent before the question takes the focus goes nowhere).
answer_question() {
  local w=""
  for _ in $(seq 1 200); do w=$(xdotool search --name '^VELNORA Manager$' 2>/dev/null | head -1); [ -n "$w" ] && break; sleep 0.1; done
  [ -n "$w" ] || fail "the question did not show"
  for _ in $(seq 1 30); do
    grep -qF ">>>answer" "$log" && return 0
    xdotool search --name '^VELNORA Manager$' 2>/dev/null | grep -qx "$w" || break # the question is gone
    xdotool windowfocus --sync "$w" 2>/dev/null
    xdotool key Return
    for _ in $(seq 1 10); do grep -qF ">>>answer" "$log" && return 0; sleep 0.1; done
  done
  wait_log ">>>answer" 20
}
# A client is up once its SIP port is open.
wait_udp() { # port seconds what
  for _ in $(seq 1 $(( $2 * 10 ))); do [ -n "$(ss -Huln "sport = :$1")" ] && return 0; sleep 0.1; done
  fail "$3 did not open UDP port $1"
}

wait_log "YOX1: EVENTS: Events thread state changed to:1" 30
wait_log "LINPHONE: " 30
mkfifo "$work/door.in"
HOME="$door" XDG_CONFIG_HOME="$door/.config" XDG_DATA_HOME="$door/.local/share" \
  linphonec < "$work/door.in" > "$work/door.out" 2>&1 & pids+=($!)
exec 8>"$work/door.in"
wait_udp 5060 30 "the desk's client"
wait_udp 5071 30 "the door's client"

echo "call sip:YOXPanel@127.0.0.1" >&8
wait_log "Receiving new incoming call from" 30
answer_question
wait_log "YOX1: Save snapshot to" 20   # the call went to panel 1: its address is in the call
for _ in $(seq 1 200); do grep -q "connected" "$work/door.out" && break; sleep 0.1; done
grep -q "connected" "$work/door.out" || fail "the call did not connect"

# The panel's telephone button ends the call: panel 1 at (-1, 24), strip at
# the bottom 62 px of 351, the button at (174, 20) in the strip.
win=$(xdotool search --name "VELNORA Manager 3.6" | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 173 + 40)) $((Y + 24 + 289 + 20 + 20)) click 1
wait_log ">>>terminate" 20
for _ in $(seq 1 200); do grep -q "ended" "$work/door.out" && break; sleep 0.1; done
grep -q "ended" "$work/door.out" || fail "the door did not see the call end"

# Unanswered: refused after the ring time (2 s + 10 s). The door phone's 2 s
# reach the SIP controller with the periodic copy from panel 1, which the
# desk logs.
wait_log "Time before call set to 2 s" 25
before=$(grep -c ">>>terminate" "$log")
echo "call sip:YOXPanel@127.0.0.1" >&8
for _ in $(seq 1 300); do [ "$(grep -c 'Receiving new incoming call from' "$log")" -ge 2 ] && break; sleep 0.1; done
[ "$(grep -c 'Receiving new incoming call from' "$log")" -ge 2 ] || fail "the second call did not reach the desk"
start=$(date +%s)
for _ in $(seq 1 400); do [ "$(grep -c ">>>terminate" "$log")" -gt "$before" ] && break; sleep 0.1; done
took=$(( $(date +%s) - start ))
[ "$(grep -c ">>>terminate" "$log")" -gt "$before" ] || fail "the unanswered call was not refused"
[ "$took" -ge 11 ] || fail "refused after ${took}s, before the ring time"
echo "1 passed, 0 failed"
