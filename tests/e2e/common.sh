# Shared set-up of the end-to-end tests; sourced, not run.
# After e2e_setup: $work (removed at exit), a private HOME and XDG folders,
# $data and $log of the program, pids+=(...) for helpers to stop at exit and
# $app for the program (stopped first, so it can close as by its close button).

e2e_setup() { # name
  work=$(mktemp -d "/tmp/velnora-$1.XXXXXX")
  pids=()
  app=""
  trap e2e_cleanup EXIT
  export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
  export XDG_RUNTIME_DIR="$work/run" SDL_AUDIODRIVER=dummy
  data="$XDG_DATA_HOME/VELNORA Manager"
  log="$data/VELNORA_Manager.log"
  mkdir -p "$data" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
}

e2e_cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}

# What a sanitizer build of the program reported on its output (address, leak
# or undefined-behaviour checker); empty when nothing.
sanitizer_report() {
  [ -f "$work/program.out" ] && grep -A40 -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work/program.out" | head -60
}

# Prints the reason, a sanitizer report of the program and the end of the log
# (a test may define on_fail for more), and ends the test.
fail() {
  echo "FAIL: $*"
  sanitizer_report | sed 's/^/  program: /'
  [ -f "$log" ] && sed 's/^/  log: /' "$log" | grep -v 'MJPEG\|VIDEO' | tail -40
  declare -F on_fail >/dev/null && on_fail
  exit 1
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# A virtual screen of this test's own. An X server makes sure of its display
# number with a lock file holding its process id, which means nothing across
# the process namespaces the tests run in (scripts/in-netns.sh): two tests in
# two namespaces could both take :0 and then share its socket path, lock file
# and keymap file, and one server's start or end broke the other's clients.
# So the number comes from a range servers do not pick by themselves, under a
# lock the kernel holds while this test (and what it starts) lives.
# -noreset: the server does not start over whenever its last client leaves, as
# a check that polls it does while nothing else is connected yet.
start_screen() { # WxH
  local n display=""
  for n in $(seq 600 699); do
    exec {screen_lock}>"/tmp/.velnora-screen-$n.lock" || continue
    if flock -n "$screen_lock"; then
      exec 6< <(exec Xvfb ":$n" -displayfd 1 -noreset -screen 0 "$1x24" -nolisten tcp 2>/dev/null)
      local xvfb=$!
      # Nothing is read when the server refused the number (taken in this namespace).
      if read -r -t 10 display <&6; then pids+=("$xvfb"); break; fi
      kill "$xvfb" 2>/dev/null
    fi
    exec {screen_lock}>&-
  done
  [ -n "$display" ] || fail "Xvfb did not start"
  export DISPLAY=":$display"
}

# Starts a desktop program (output in $work/NAME.out) and waits up to 30 s
# until CHECK succeeds; fails with the program's state and last words when it
# does not. Usage: start_desktop_program WHAT CHECK NAME [ARGS...]
start_desktop_program() {
  local what=$1 check=$2 name=$3
  shift 2
  "$@" >"$work/$name.out" 2>&1 &
  local pid=$!
  pids+=("$pid")
  for _ in $(seq 1 300); do
    "$check" && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  local state=running
  kill -0 "$pid" 2>/dev/null || { wait "$pid"; state="ended with status $?"; }
  fail "$what did not come up ($name $state; it said: $(tail -c 300 "$work/$name.out" 2>/dev/null))"
}

# A window manager (openbox), up once it has run its start-up command. A
# window mapped before the manager is up is taken over (and briefly unmapped)
# when it starts; one mapped while it starts, after it has announced itself on
# the root window, now and then is never managed and never shown. So nothing is
# shown before this returns, and the sign waited for is the last one the
# manager gives before it handles events.
window_manager_up() { [ -e "$work/openbox.ready" ]; }
start_window_manager() {
  start_desktop_program "the window manager" window_manager_up openbox --startup "touch $work/openbox.ready"
}

# A system tray (trayer) at the top right of the screen; its panel window in
# $tray once it is shown.
tray_shown() {
  tray=$(xdotool search --onlyvisible --classname '^panel$' 2>/dev/null | head -1)
  [ -n "$tray" ]
}
start_tray() {
  tray=""
  start_desktop_program "the tray" tray_shown trayer --edge top --align right --widthtype request --height 24
}

# The accessibility bus (AT-SPI) on this session bus; the program then shows
# its controls there when started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
start_a11y_bus() {
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & pids+=($!)
  local up=""
  for _ in $(seq 1 200); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && { up=1; break; }
    sleep 0.1
  done
  [ -n "$up" ] || fail "the accessibility bus did not come up"
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

start_program() { # program assets
  (cd "$2" && exec "$1") > "$work/program.out" 2>&1 &
  app=$!
}

# After the program was asked to close: waits for it (at most the given
# seconds) and fails unless it ended with status 0 and no sanitizer report.
program_ended_cleanly() { # seconds
  for _ in $(seq 1 $(( $1 * 10 ))); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && fail "the program did not end"
  local rc=0
  wait "$app" || rc=$?
  app=""
  [ -z "$(sanitizer_report)" ] || fail "the sanitizer reported a fault"
  [ "$rc" = 0 ] || fail "exit status $rc"
}

# Whether the window shows live video: two pictures of it a moment apart
# differ (the door phone's pictures change, the placeholder does not).
video_live() { # window
  import -window "$1" "$work/a.png" 2>/dev/null && sleep 0.3 && import -window "$1" "$work/b.png" 2>/dev/null || return 1
  [ "$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 | cut -d' ' -f1)" != 0 ]
}
wait_video() { # window seconds
  local end=$(( $(date +%s) + $2 ))
  while [ "$(date +%s)" -lt "$end" ]; do video_live "$1" && return 0; sleep 0.2; done
  fail "no live video"
}

wait_log() { # text seconds
  for _ in $(seq 1 $(( $2 * 10 ))); do grep -qF -- "$1" "$log" 2>/dev/null && return 0; sleep 0.1; done
  fail "no log line: $1"
}

# The console's main window: its id in $win (waits at most the given seconds).
wait_main_window() { # seconds
  win=""
  for _ in $(seq 1 $(( $1 * 10 ))); do win=$(xdotool search --name "VELNORA Manager 3.6" 2>/dev/null | head -1); [ -n "$win" ] && break; sleep 0.1; done
  [ -n "$win" ] || fail "no window"
}

# A click on the title bar's settings area (x 386..412, y 1..25 of the
# one-panel window); the dialog's id in $dialog.
open_settings_dialog() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove $((X + 399)) $((Y + 12)) click 1
  dialog=""
  for _ in $(seq 1 100); do dialog=$(xdotool search --onlyvisible --name "VELNORA_Manager_3.6    IP:" 2>/dev/null | head -1); [ -n "$dialog" ] && break; sleep 0.1; done
  [ -n "$dialog" ] || fail "no settings dialog after a click on the settings area"
}
