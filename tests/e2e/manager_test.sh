#!/usr/bin/env bash
# A desk user makes a German language with the built-in language manager,
# opened by the settings dialog's flag chooser ("> Add <"): English as the
# source, the name typed, the file accepted in the save dialog, two texts of
# the main window translated in the grid (their markers say so) and Save: the
# file holds just those two rows under the right header, the chooser offers
# the language and the whole console speaks it at once. Opened again with
# "> Edit <", the language shows what was stored, and Escape closes it
# without a question since nothing changed; stopped with unsaved work in the
# manager, the console still ends and the file stays as saved.
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
    # "#N" for a name: the Nth control of that role in the window (a Qt
    # combo box is named by the entry it shows).
    nth = int(name[1:]) if name.startswith("#") else 0
    for w in windows(within):
        for a in [w, *walk(w)]:
            if (nth or a.name == name) and (not role or a.getRoleName() == role) and middle(a):
                nth -= 1
                if nth <= 0:
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
# ui.py row LEFT WITHIN: prints the middles of the grid row's two cells, then
#   the left cell's description and the translation, TAB-separated.
cmd, args = sys.argv[1], sys.argv[2:]
deadline = time.time() + 20
while time.time() < deadline:
    if cmd == "row":
        cells = grid_row(args[0], args[1])
        if cells and middle(cells[0]) and middle(cells[1]):
            print(*middle(cells[0]), *middle(cells[1]), end="\t")
            print(f"{cells[0].description}\t{text_of(cells[1])}")
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
# The grid row whose left cell says LEFT: where its cells are ($left_x
# $left_y, $cell_x $cell_y), what its marker means ($cell_mark), its
# translation ($cell_text).
grid_row() { # LEFT
  local line
  line=$(ui row "$1" "$manager") || fail "no row $1 in the grid"
  read -r left_x left_y cell_x cell_y <<< "${line%%$'\t'*}"
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
manager_win=$(xdotool search --onlyvisible --name "^$manager" | head -1)
[ -n "$manager_win" ] || fail "no manager window on the screen"

# English as the source; the box then takes the new name.
pick "#1" "EN" "$manager"
click_on "New language name" "" "$manager"
xdotool type --delay 50 "Deutsch"
[ "$(ui text "New language name" "" "$manager")" = "Deutsch" ] || fail "the name box does not hold Deutsch"
click_on "Create new language" "push button" "$manager"

# Qt's own save dialog in the language folder, the name filled in.
save_dialog="New language file name"
file=$(ui text "File name:" "text" "$save_dialog") || fail "no save dialog"
[ "$file" = "Deutsch.lng" ] || fail "the save dialog offers the name $file"
ui where "$data/LANGS" "combo box" "$save_dialog" >/dev/null || fail "the save dialog is not in the language folder"
xdotool key Return
ui gone "$save_dialog" "dialog" "" || fail "the save dialog stayed open"
ui text "Language:" "label" "$manager" >/dev/null || fail "the manager did not begin editing"

# The main window's title (its Caption), translated in the grid with a
# double click into the cell. (The cell's editor is not on the accessibility
# bus; the program takes the keys in order after the click that opens it.)
# The manager's combo boxes, in order: the language, the group, the object.
pick "#2" "Form2" "$manager"
pick "#3" "Form2" "$manager"
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
import -window "$manager_win" "$out/e2e_manager.png" 2>/dev/null

# The settings area's hint (its name for a screen reader), its cell opened
# with the Right arrow from the row's left cell this time; the minimize
# area's hint stays as it was.
pick "#3" "SettingsImage" "$manager"
grid_row "Hint"
[ "$cell_text" = "Settings" ] || fail "the settings area's row holds $cell_text"
xdotool mousemove "$left_x" "$left_y" click 1
xdotool key Right
xdotool key ctrl+a
xdotool type --delay 50 "$settings_text"
xdotool key Return
for _ in $(seq 1 50); do grid_row "Hint"; [ "$cell_mark" = "Translated" ] && break; sleep 0.1; done
[ "$cell_text" = "$settings_text" ] || fail "the settings area's row holds $cell_text after editing"
[ "$cell_mark" = "Translated" ] || fail "the changed hint is marked $cell_mark"
pick "#3" "MinimizeImage" "$manager"
grid_row "Hint"
[ "$cell_mark" = "Untranslated" ] || fail "an unchanged row is marked $cell_mark"

# Save: the file is written, the chooser offers it and the console speaks it.
click_on "Save" "push button" "$manager"
wait_log "LINGO: language Deutsch saved to \"$data/LANGS/Deutsch.lng\"" 10
wait_log '"LINGO: language Deutsch"' 10
ui gone "$manager" "dialog" "" || fail "the manager stayed open after Save"

lng="$data/LANGS/Deutsch.lng"
[ "$(head -c2 "$lng" | od -An -tx1 | tr -d ' ')" = fffe ] || fail "the file does not begin with a UTF-16LE BOM"
iconv -f UTF-16 -t UTF-8 "$lng" | tr -d '\r' > "$work/Deutsch.txt" || fail "the file is no UTF-16"
printf '0\t%%LANGUAGE_NAME="Deutsch"\t%%SUPERIOR_LANGUAGE=EN;\t%%FILEVER=THLF1;\n' > "$work/header.txt"
grep -qxFf "$work/header.txt" "$work/Deutsch.txt" || fail "no such header in the file: $(cat "$work/Deutsch.txt")"
# The entry rows: from the header to the lexicons' section.
sed -n '/%LANGUAGE_NAME=/,/%LEXICON_STRINGS/p' "$work/Deutsch.txt" | sed '1d;$d' > "$work/rows.txt"
grep -qx '0	%LEXICON_STRINGS' "$work/Deutsch.txt" || fail "no lexicons' section in the file"
[ "$(wc -l < "$work/rows.txt")" = 2 ] || fail "the file holds other rows than the two changed: $(cat "$work/rows.txt")"
grep -q "\"$title\"	%COMPONENT=Form2;" "$work/rows.txt" || fail "the title's row is not in the file: $(cat "$work/rows.txt")"
grep -q "\"$settings_text\"	%COMPONENT=SettingsImage;	%OWNER=Form2;" "$work/rows.txt" \
  || fail "the hint's row is not in the file: $(cat "$work/rows.txt")"

case "$(xdotool getwindowname "$win")" in "$title"*) ;; *) fail "the main window's title is $(xdotool getwindowname "$win")";; esac
ui where "$settings_text" "push button" "" >/dev/null || fail "the settings area is not named $settings_text"

# Opened again to edit: the chooser lists the new language, the manager
# offers it (the design language EN is no file to edit) and shows what was
# stored.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + 40)) $((Y + 423)) click 1
ui where "Deutsch" "list item" "" >/dev/null || fail "the chooser does not list Deutsch"
click_on "> Edit <" "list item" ""
ui text "Language:" "label" "$manager" >/dev/null || fail "the manager did not open to edit"
click_on "#1" "combo box" "$manager"
languages=$(ui items "#1" "combo box" "$manager")
printf '%s\n' "$languages" | grep -qx "Deutsch" || fail "the manager does not offer Deutsch: $languages"
printf '%s\n' "$languages" | grep -qx "EN" && fail "the manager offers the design language EN to edit"
click_on "Deutsch" "list item" "$manager"
pick "#2" "Form2" "$manager"
pick "#3" "Form2" "$manager"
grid_row "Caption"
[ "$cell_text" = "$title" ] || fail "the stored title's row holds $cell_text"
[ "$cell_mark" = "Translated" ] || fail "the stored title's row is marked $cell_mark"

# Nothing changed: Escape closes it without a question (which would carry
# the manager's title too), and the console keeps the language.
xdotool key Escape
ui gone "$manager" "" "" || fail "the manager or a question stayed after Escape"
[ -z "$(xdotool search --onlyvisible --name "^$manager" 2>/dev/null)" ] || fail "a window of the manager is still shown"
case "$(xdotool getwindowname "$win")" in "$title"*) ;; *) fail "the main window's title is $(xdotool getwindowname "$win") after editing";; esac
ui where "$settings_text" "push button" "" >/dev/null || fail "the settings area is not named $settings_text after editing"

# Stopped while the manager holds unsaved work: the console ends (no
# question waits for an answer nobody gives) and the file stays as saved.
cp "$lng" "$work/saved.lng"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + 40)) $((Y + 423)) click 1
click_on "> Edit <" "list item" ""
ui text "Language:" "label" "$manager" >/dev/null || fail "the manager did not open to edit again"
click_on "#1" "combo box" "$manager"
click_on "Deutsch" "list item" "$manager"
pick "#2" "Form2" "$manager"
pick "#3" "Form2" "$manager"
grid_row "Caption"
xdotool mousemove "$cell_x" "$cell_y" click --repeat 2 1
xdotool key ctrl+a
xdotool type --delay 50 "Unsaved"
xdotool key Return
for _ in $(seq 1 50); do grid_row "Caption"; [ "$cell_text" = "Unsaved" ] && break; sleep 0.1; done
[ "$cell_text" = "Unsaved" ] || fail "the title's row holds $cell_text after editing again"

kill -TERM "$app"
program_ended_cleanly 20
grep -qF "LINGO: the language manager closed as the console stops; its unsaved work is dropped" "$log" \
  || fail "no log line for the dropped work"
cmp -s "$lng" "$work/saved.lng" || fail "the language file changed without Save"
echo "1 passed, 0 failed"
