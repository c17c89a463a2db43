#!/usr/bin/env bash
# A desk user re-points door phone 1 from the settings dialog: a click on the
# title bar's settings area opens it, the address and port are typed in through
# the accessibility bus (controls found by their names), Save is pressed, and
# the running console moves to the other door phone at once: its ring is shown
# and the file holds the new values. Then the log goes out by e-mail from the
# same dialog to an SMTP server on loopback while the door phone still rings.
# Usage: settings_test.sh PROGRAM SIMULATOR ASSETS OUTDIR
set -uo pipefail
if [ -z "${VN_A11Y_SESSION:-}" ]; then
  VN_A11Y_SESSION=1 exec dbus-run-session -- bash "$0" "$@"
fi
program=$1 sim=$2 assets=$3 out=$4
source "$(dirname "$0")/common.sh"
e2e_setup settings

portA=$(free_port)
portB=$(free_port)
mkfifo "$work/a.in" "$work/b.in"
"$sim" --address 127.0.0.1 --port "$portA" --name "Front Door" < "$work/a.in" > "$work/a.out" 2>&1 & pids+=($!)
exec 7>"$work/a.in"
"$sim" --address 127.0.0.2 --port "$portB" --name "Back Door" < "$work/b.in" > "$work/b.out" 2>&1 & pids+=($!)
exec 8>"$work/b.in"
ini="$data/VELNORA_Manager.ini"
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=%s\r\n' "$portA" > "$ini"

start_screen 1280x1024
start_a11y_bus
start_program "$program" "$assets"
wait_main_window 30
wait_log "YOX1: EVENTS: Events thread state changed to:1" 20

open_settings_dialog
import -window "$dialog" "$out/e2e_settings_dialog.png" 2>/dev/null

# Controls of the console found on the accessibility bus by name and role.
cat > "$work/console_a11y.py" <<'PY'
import sys, time
import pyatspi

def walk(node):
    for child in node:
        if child is None:
            continue
        yield child
        yield from walk(child)

def find(name, role, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is None or app.name != "VELNORA Manager":
                continue
            for a in walk(app):
                if a.name == name and a.getRole() == role and a.getState().contains(pyatspi.STATE_SHOWING):
                    return a
        time.sleep(0.2)
    print("not found on the accessibility bus:", name)
    sys.exit(1)
PY
export PYTHONPATH="$work"

cat > "$work/settings.py" <<'PY'
import sys
import pyatspi
from console_a11y import find

ip, port = sys.argv[1], sys.argv[2]
c = {n: find(n, pyatspi.ROLE_TEXT) for n in ("DoorPhone IP1:", "Video Port 1")}
c["Save"] = find("Save", pyatspi.ROLE_PUSH_BUTTON)
c["DoorPhone IP1:"].queryEditableText().setTextContents(ip)
c["Video Port 1"].queryEditableText().setTextContents(port)
for name, want in (("DoorPhone IP1:", ip), ("Video Port 1", port)):
    t = c[name].queryText()
    got = t.getText(0, t.characterCount)
    if got != want:
        print(name, "holds", repr(got), "not", repr(want))
        sys.exit(1)
action = c["Save"].queryAction()
action.doAction(0)
print("saved", ip, port)
PY
/usr/bin/python3 "$work/settings.py" 127.0.0.2 "$portB" || fail "driving the settings dialog"

wait_log "YOX1: IP Changed to:127.0.0.2" 10
wait_log "YOX1: Port Changed to:$portB" 10
wait_log "YOX1: PING: ping state to IP127.0.0.2 changed to :1" 20
tr -d '\r' < "$ini" | grep -qxF "RemoteDoorPhoneIP1=127.0.0.2" || fail "the file does not hold the new address: $(cat "$ini")"
tr -d '\r' < "$ini" | grep -qxF "RemoteDoorVideoPort1=$portB" || fail "the file does not hold the new port"
# The lock buttons come with the new door phone's events channel; a ring there is shown.
for _ in $(seq 1 200); do
  [ "$(grep -c 'YOX1: EVENTS: Events thread state changed to:1' "$log")" -ge 2 ] && break
  sleep 0.1
done
[ "$(grep -c 'YOX1: EVENTS: Events thread state changed to:1' "$log")" -ge 2 ] || fail "no events channel to the new door phone"
echo ring >&8
wait_log "YOX1: PopUpActive" 20
wait_video "$win" 30
import -window root "$out/e2e_settings.png" 2>/dev/null

# The log by e-mail, from the same dialog, to an SMTP server on loopback that
# the file's [LogMail] section names.
mkdir -p "$work/mail"
coproc SMTP { exec /usr/bin/python3 "$(dirname "$0")/../app/smtp_server.py" "$work/mail" --user desk --password pw 2>&1; }
pids+=($SMTP_PID)
read -r -t 20 word smtpPort <&"${SMTP[0]}" && [ "$word" = PORT ] || fail "the SMTP server did not start"
printf '[LogMail]\r\nHost=127.0.0.1\r\nPort=%s\r\nUser=desk\r\nPassword=pw\r\nTo=desk-support@localhost\r\n' "$smtpPort" >> "$ini"
open_settings_dialog
# "Send LOG file" lies at 94, 410, 118 x 25 in the dialog; a click, since the
# e-mail dialog it opens is modal.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + 153)) $((Y + 422)) click 1

cat > "$work/mail.py" <<'PY'
import pyatspi
from console_a11y import find

comment = find("Your comment:", pyatspi.ROLE_TEXT)
comment.queryEditableText().setTextContents("Front desk: Žluťoučký kůň\n.a line with a dot")
find("Your e-mail for answer:", pyatspi.ROLE_TEXT).queryEditableText().setTextContents("desk@example.invalid")
find("Send by Internet", pyatspi.ROLE_PUSH_BUTTON).queryAction().doAction(0)
print("sending")
PY
/usr/bin/python3 "$work/mail.py" || fail "driving the e-mail dialog"
for _ in $(seq 1 300); do [ -f "$work/mail/msg-1.json" ] && break; sleep 0.1; done
[ -f "$work/mail/msg-1.json" ] || fail "no message reached the SMTP server"
wait_log "EMAIL: Log file sent to desk-support@localhost (Included)" 20
/usr/bin/python3 - "$work/mail/msg-1.json" "$log" <<'PY' || fail "the message is not what was sent"
import base64, json, sys
m = json.load(open(sys.argv[1]))
log = open(sys.argv[2], "rb").read()
body = base64.b64decode(m["texts"][0]["data_b64"]).decode("utf-8")
lines = body.replace("\r\n", "\n").split("\n")
want = ["Front desk: Žluťoučký kůň", ".a line with a dot", "----------- E-mail for answer:------------",
        "desk@example.invalid", "----------- Log file:---------------------", "Included"]
assert lines[:6] == want, lines
assert m["login"] == "desk" and m["rcpt_tos"] == ["desk-support@localhost"], m
assert len(m["attachments"]) == 1, m["attachments"]
sent = base64.b64decode(m["attachments"][0]["data_b64"])
assert len(sent) > 1000 and log.startswith(sent), "the attachment is not the log file"
PY
# The door phones went on meanwhile: a ring during the open dialogs is shown.
echo hangup >&8
echo ring >&8
for _ in $(seq 1 200); do [ "$(grep -c 'YOX1: PopUpActive' "$log")" -ge 2 ] && break; sleep 0.1; done
[ "$(grep -c 'YOX1: PopUpActive' "$log")" -ge 2 ] || fail "no ring shown while the dialogs were open"
echo "1 passed, 0 failed"
