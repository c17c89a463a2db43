#!/usr/bin/env bash
# A desk user makes a German language with the built-in language manager,
# opened by the settings dialog's flag chooser ("> Add <"): English as the
# source, the name typed, the file accepted in the save dialog, two texts of
# the main window translated in the grid (their markers say so) and Save: the
# file holds just those two rows under the right header, the chooser offers
# the language and the whole console speaks it at once. Opened again with
# "> Edit <", the language shows what was stored, and Escape closes it
# without a question since nothing changed.
# Usage: manager_test.sh PROGRAM SIMULATOR ASSETS OUTDIR
set -uo pipefail
if [ -z "${VN_A11Y_SESSION:-}" ]; then
  VN_A11Y_SESSION=1 exec dbus-run-session -- bash "$0" "$@"
fi
program=$1 sim=$2 assets=$3 out=$4
source "$(dirname "$0")/common.sh"
e2e_setup manager

port=$(free_port)
mkfifo "$work/sim.in"
"$sim" --address 127.0.0.1 --port "$port" --name "Front Door" < "$work/sim.in" > "$work/sim.out" 2>&1 & pids+=($!)
exec 7>"$work/sim.in"
ini="$data/VELNORA_Manager.ini"
printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=%s\r\nLanguage=EN\r\n' "$port" > "$ini"

manager="Built-in Language Manager"
title="Türsprechanlage VELNORA"
settings_text="Einstellungen"

# The console's controls on the accessibility bus, searched among what is
# shown (a closed list's items are not), within one window when named.
cat > "$work/ui.py" <<'PY'
import sys, time
import pyatspi

def walk(node):
    for child in node:
        if child is None or not child.getState().contains(pyatspi.STATE_SHOWING):
            continue
        yield child
        yield from walk(child)

def windows(within):
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != "VELNORA Manager":
            continue
        for w in app:
            if w is not None and (not within or w.name == within) and w.getState().contains(pyatspi.STATE_SHOWING):
                yield w

def middle(a):
    e = a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x + e.width // 2, e.y + e.height // 2) if e.width > 0 and e.height > 0 else None

def control(name, role, within):
    for w in windows(within):
        for a in walk(w):
            if a.name == name and (not role or a.getRoleName() == role) and middle(a):
                return a
    return None

def text_of(a):
    try:
        t = a.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return a.name

def grid_row(left, within):
    # The translation grid's row whose left cell says LEFT: its two cells.
    table = control("Translation", "table", within)
    if table is None:
        return None
    t = table.queryTable()
    for r in range(t.nRows):
        l, v = t.getAccessibleAt(r, 0), t.getAccessibleAt(r, 1)
        if l is not None and v is not None and l.name == left:
            return l, v
    return None

def shown():
    return sorted({(a.name, a.getRoleName()) for w in windows("") for a in walk(w) if a.name})

# ui.py where|press|text|items NAME ROLE WITHIN: waits for the control and
#   prints where its middle is, presses it, prints its text, or its items;
# ui.py gone NAME ROLE WITHIN: waits until no such control is shown;
# ui.py row LEFT WITHIN: prints the middle of the grid row's translation cell,
#   the left cell's description and the translation, TAB-separated.
cmd, args = sys.argv[1], sys.argv[2:]
deadline = time.time() + 20
while time.time() < deadline:
    if cmd == "row":
        cells = grid_row(args[0], args[1])
        if cells and middle(cells[1]):
            x, y = middle(cells[1])
            print(f"{x} {y}\t{cells[0].description}\t{text_of(cells[1])}")
            sys.exit(0)
    else:
        a = control(*args)
        if cmd == "gone":
            if a is None:
                sys.exit(0)
        elif a is not None:
            if cmd == "where":
                print(*middle(a))
            elif cmd == "press":
                a.queryAction().doAction(0)
            elif cmd == "text":
                print(text_of(a))
            elif cmd == "items":
                print("\n".join(c.name for c in walk(a)))
            sys.exit(0)
    time.sleep(0.2)
print(f"not as expected on the accessibility bus: {cmd} {args}", file=sys.stderr)
print("  shown:", shown(), file=sys.stderr)
sys.exit(1)
PY
ui() { /usr/bin/python3 "$work/ui.py" "$@"; }
click_on() { # NAME ROLE WITHIN
  local x y
  read -r x y < <(ui where "$@") || fail "no control $1 ($2) in ${3:-the console}"
  xdotool mousemove "$x" "$y" click 1
}
# A combo box opened with a click and an entry of its list clicked.
pick() { # COMBO ENTRY WITHIN
  click_on "$1" "combo box" "$3"
  click_on "$2" "list item" "$3"
}
# A grid row brought into view (the first row, then Down until it is shown)
# and its fields: $cell_x $cell_y, $cell_mark, $cell_text.
grid_row() { # LEFT
  local line
  line=$(ui row "$1" "$manager") || fail "no row $1 in the grid"
  read -r cell_x cell_y <<< "${line%%$'\t'*}"
  line=${line#*$'\t'}
  cell_mark=${line%%$'\t'*}
  cell_text=${line#*$'\t'}
}
on_fail() {
  import -window root "$out/e2e_manager_fail.png" 2>/dev/null
  /usr/bin/python3 - <<'PY' 2>/dev/null | sed 's/^/  shown: /'
import pyatspi
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == "VELNORA Manager":
        for w in app:
            if w is not None and w.getState().contains(pyatspi.STATE_SHOWING):
                print(w.getRoleName(), repr(w.name))
PY
}

start_screen 1280x1024
start_a11y_bus
start_program "$program" "$assets"
wait_main_window 30
wait_log "YOX1: EVENTS: Events thread state changed to:1" 20
wait_log "LINGO: language EN" 10 # the configured language, about a second after start
english_title=$(xdotool getwindowname "$win")
case "$english_title" in "VELNORA Manager 3.6"*) ;; *) fail "the main window's title is $english_title";; esac

# The flag chooser (8, 412, 65 x 22) of the settings dialog lists the
# manager's entries after the languages.
open_settings_dialog
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + 40)) $((Y + 423)) click 1
chooser=$(ui items "EN" "combo box" "") || fail "the chooser did not open"
[ "$(printf '%s\n' "$chooser" | grep -x -e EN -e Čeština -e Slovenčina -e '> Add <' -e '> Edit <' | tr '\n' '|')" \
  = "EN|Čeština|Slovenčina|> Add <|> Edit <|" ] || fail "the chooser lists: $chooser"
click_on "> Add <" "list item" ""
ui text "Choose source language:" "label" "$manager" >/dev/null || fail "the manager did not open asking for a source"

# English as the source; the box then takes the new name.
pick "Language" "EN" "$manager"
click_on "New language name" "" "$manager"
xdotool type --delay 50 "Deutsch"
[ "$(ui text "New language name" "" "$manager")" = "Deutsch" ] || fail "the name box does not hold Deutsch"
ui press "Create new language" "push button" "$manager" || fail "no Create button"

# Qt's own save dialog in the language folder, the name filled in.
files=$(ui items "New language file name" "dialog" "") || fail "no save dialog"
printf '%s\n' "$files" | grep -qx "Deutsch.lng" || fail "the save dialog does not offer Deutsch.lng: $files"
xdotool key Return
ui gone "New language file name" "dialog" "" || fail "the save dialog stayed open"
ui text "Language:" "label" "$manager" >/dev/null || fail "the manager did not begin editing"
import -window root "$out/e2e_manager_begin.png" 2>/dev/null

# The main window's title and the settings area's name, translated in the grid.
pick "Group" "Form2" "$manager"
pick "Object" "Form2" "$manager"
grid_row "Caption"
[ "$cell_text" = "VELNORA Manager 3.6" ] || fail "the title's row holds $cell_text"
[ "$cell_mark" = "Untranslated" ] || fail "the title's row is marked $cell_mark"
xdotool mousemove "$cell_x" "$cell_y" click --repeat 2 1
xdotool key ctrl+a
xdotool type --delay 50 "$title"
xdotool key Return
for _ in $(seq 1 50); do grid_row "Caption"; [ "$cell_mark" = "Translated" ] && break; sleep 0.1; done
[ "$cell_text" = "$title" ] || fail "the title's row holds $cell_text after editing"
[ "$cell_mark" = "Translated" ] || fail "the changed row is marked $cell_mark"
import -window root "$out/e2e_manager.png" 2>/dev/null
