#!/usr/bin/env bash
# The console as a screen reader sees it, through the accessibility bus (AT-SPI)
# on a virtual screen: every title-bar and panel button is a push button with a
# name that says what it does, and pressing "Open lock 1" through the bus opens
# the simulated door phone's lock 1.
# Usage: a11y_test.sh PROGRAM SIMULATOR ASSETS
set -uo pipefail
# A session bus of our own: the accessibility bus launcher registers on it.
if [ -z "${VN_A11Y_SESSION:-}" ]; then
  VN_A11Y_SESSION=1 exec dbus-run-session -- bash "$0" "$@"
fi
program=$1 sim=$2 assets=$3
source "$(dirname "$0")/common.sh"
e2e_setup a11y

port=$(free_port)
mkfifo "$work/sim.in"
"$sim" --address 127.0.0.1 --port "$port" --name "Front Door" < "$work/sim.in" > "$work/sim.out" 2>&1 & pids+=($!)
exec 7>"$work/sim.in"
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=%s\r\n' "$port" > "$data/VELNORA_Manager.ini"

start_screen 1280x1024
start_a11y_bus
start_program "$program" "$assets"
wait_log "YOX1: EVENTS: Events thread state changed to:1" 15 # the lock buttons show from here

cat > "$work/a11y.py" <<'PY'
import sys, time
import pyatspi

def walk(node, path=()):
    for child in node:
        if child is None:
            continue
        yield child, path
        yield from walk(child, path + (child.name,))

def showing(a):
    return a.getState().contains(pyatspi.STATE_SHOWING)

def console():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "VELNORA Manager":
            return app
    return None

wanted = ["Open lock 1", "Open lock 2", "Snapshot", "Call", "Door phone", "Settings", "Minimize", "Close"]
deadline = time.time() + 20
found = {}
while time.time() < deadline:
    app = console()
    if app is not None:
        found = {}
        for a, path in walk(app):
            if a.getRole() == pyatspi.ROLE_PUSH_BUTTON and showing(a) and (a.name not in found or "Door phone 1" in path):
                found[a.name] = (a, path)
        # Panel 1's lock buttons show once its events channel is up (at the next state tick).
        if all(n in found for n in wanted) and "Door phone 1" in found["Open lock 1"][1]:
            break
    time.sleep(0.2)
missing = [n for n in wanted if n not in found]
if missing:
    print("buttons not found on the accessibility bus:", missing, "found:", sorted(found))
    sys.exit(1)
lock, path = found["Open lock 1"]
if "Door phone 1" not in path:
    print("Open lock 1 is not in door phone 1:", path)
    sys.exit(1)
action = lock.queryAction()
if action.nActions < 1 or action.getName(0).lower() != "press":
    print("the lock button has no press action:", [action.getName(i) for i in range(action.nActions)])
    sys.exit(1)
action.doAction(0)
print("pressed", lock.name, "in", "/".join(path))
PY
/usr/bin/python3 "$work/a11y.py" || fail "accessibility check"
wait_log "YOX1: LOCK1: try to unlock. IP:127.0.0.1" 10
locks=""
for _ in $(seq 1 200); do
  echo status >&7
  sleep 0.1
  locks=$(grep -oP 'locks=\K[0-9]+' "$work/sim.out" | tail -1)
  [ "${locks:-0}" -ge 1 ] && break
done
[ "$locks" = 1 ] || fail "the door phone saw $locks unlock requests, not 1"
echo "1 passed, 0 failed"
