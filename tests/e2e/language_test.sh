#!/usr/bin/env bash
# A desk user switches the running console to Czech with the settings
# dialog's flag chooser: the dialog and the main window speak Czech at once
# (found on the accessibility bus by their Czech names), Save ("Uložit")
# stores the language, and the next start comes up in Czech by itself and
# offers a language file dropped into the language folder; picking EN brings
# English back at once and Save stores it.
# Usage: language_test.sh PROGRAM SIMULATOR ASSETS OUTDIR
set -uo pipefail
if [ -z "${VN_A11Y_SESSION:-}" ]; then
  VN_A11Y_SESSION=1 exec dbus-run-session -- bash "$0" "$@"
fi
program=$1 sim=$2 assets=$3 out=$4
source "$(dirname "$0")/common.sh"
e2e_setup language

port=$(free_port)
mkfifo "$work/sim.in"
"$sim" --address 127.0.0.1 --port "$port" --name "Front Door" < "$work/sim.in" > "$work/sim.out" 2>&1 & pids+=($!)
exec 7>"$work/sim.in"
ini="$data/VELNORA_Manager.ini"
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=%s\r\nLanguage=EN\r\n' "$port" > "$ini"

start_screen 1280x1024
start_a11y_bus
start_program "$program" "$assets"
wait_main_window 30
wait_log "YOX1: EVENTS: Events thread state changed to:1" 20
wait_log "LINGO: language EN" 10 # the configured language, about a second after start

open_settings_dialog

cat > "$work/find.py" <<'PY'
import sys, time
import pyatspi

def walk(node):
    for child in node:
        if child is None:
            continue
        yield child
        yield from walk(child)

# find.py NAME [press|where]: waits for a showing control of that name (or
# "@role": of that role); presses it or prints where its middle is shown.
name = sys.argv[1]
deadline = time.time() + 20
while time.time() < deadline:
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != "VELNORA Manager":
            continue
        for a in walk(app):
            hit = a.getRoleName() == name[1:] if name.startswith("@") else a.name == name
            if hit and a.getState().contains(pyatspi.STATE_SHOWING):
                if sys.argv[2:] == ["press"]:
                    a.queryAction().doAction(0)
                if sys.argv[2:] == ["where"]:
                    e = a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                    if e.width <= 0 or e.height <= 0:
                        continue
                    print(e.x + e.width // 2, e.y + e.height // 2)
                    sys.exit(0)
                print("found", name)
                sys.exit(0)
    time.sleep(0.2)
print("not found on the accessibility bus:", name)
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == "VELNORA Manager":
        print("  shown:", sorted({(a.name, a.getRoleName()) for a in walk(app) if a.name}))
sys.exit(1)
PY
# The flag chooser (8, 412, 65 x 22) opens with a click; the Czech entry of
# its list is clicked where the accessibility bus says it is shown.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + 40)) $((Y + 423)) click 1
read -r cx cy < <(/usr/bin/python3 "$work/find.py" "Čeština" where) || fail "the chooser does not list Czech"
xdotool mousemove "$cx" "$cy" click 1
wait_log "LINGO: language Čeština" 10
import -window "$dialog" "$out/e2e_language_dialog.png" 2>/dev/null

# The dialog and the main window speak Czech.
/usr/bin/python3 "$work/find.py" "Odeslat záznam" || fail "the dialog is not in Czech"
/usr/bin/python3 "$work/find.py" "Nastavení" || fail "the main window is not in Czech"
/usr/bin/python3 "$work/find.py" "Uložit" press || fail "no Czech Save button"
for _ in $(seq 1 50); do tr -d '\r' < "$ini" | grep -qxF "Language=Čeština" && break; sleep 0.1; done
tr -d '\r' < "$ini" | grep -qxF "Language=Čeština" || fail "the file does not hold the language: $(cat "$ini")"

# A ring is still shown.
echo ring >&7
wait_log "YOX1: PopUpActive" 20
import -window root "$out/e2e_language.png" 2>/dev/null

# The next start comes up in Czech, and a language file the desk dropped
# into the language folder meanwhile is offered too.
kill -TERM "$app"
program_ended_cleanly 20
mkdir -p "$data/LANGS"
printf '[YOX_]\r\n0\t%%LANGUAGE_NAME="Deutsch"\t%%FILEVER=THLF1;\r\n0\t"Speichern"\t%%COMPONENT=Button2;\t%%OWNER=SettingsForm;\r\n0\t%%LEXICON_STRINGS\r\n0\t%%SMART_STRINGS\r\n' \
  | iconv -f UTF-8 -t UTF-16 > "$data/LANGS/Deutsch.lng"

start_program "$program" "$assets"
wait_main_window 30
for _ in $(seq 1 200); do [ "$(grep -c 'LINGO: language Čeština' "$log")" -ge 2 ] && break; sleep 0.1; done
[ "$(grep -c 'LINGO: language Čeština' "$log")" -ge 2 ] || fail "the next start did not switch to Czech"
/usr/bin/python3 "$work/find.py" "Nastavení" || fail "the main window is not in Czech after a restart"

# Back to English with the chooser: everything follows at once; Save stores it.
open_settings_dialog
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + 40)) $((Y + 423)) click 1
/usr/bin/python3 "$work/find.py" "Deutsch" || fail "the dropped language file is not offered"
read -r cx cy < <(/usr/bin/python3 "$work/find.py" "EN" where) || fail "the chooser does not list EN"
xdotool mousemove "$cx" "$cy" click 1
wait_log "LINGO: language EN" 10
/usr/bin/python3 "$work/find.py" "Settings" || fail "the main window is not in English again"
/usr/bin/python3 "$work/find.py" "Save" press || fail "no English Save button"
for _ in $(seq 1 50); do tr -d '\r' < "$ini" | grep -qxF "Language=EN" && break; sleep 0.1; done
tr -d '\r' < "$ini" | grep -qxF "Language=EN" || fail "the file does not hold EN: $(cat "$ini")"
kill -TERM "$app"
program_ended_cleanly 20
echo "1 passed, 0 failed"
