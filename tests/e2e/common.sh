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

# Prints the reason and the end of the log (a test may define on_fail for more), and ends the test.
fail() {
  echo "FAIL: $*"
  [ -f "$log" ] && sed 's/^/  log: /' "$log" | grep -v 'MJPEG\|VIDEO' | tail -40
  declare -F on_fail >/dev/null && on_fail
  exit 1
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

start_screen() { # WxH
  exec 6< <(exec Xvfb -displayfd 1 -screen 0 "$1x24" -nolisten tcp 2>/dev/null)
  pids+=($!)
  local display
  read -r -t 10 display <&6 || fail "Xvfb did not start"
  export DISPLAY=":$display"
}

start_program() { # program assets
  (cd "$2" && exec "$1") > "$work/program.out" 2>&1 &
  app=$!
}

wait_log() { # text seconds
  for _ in $(seq 1 $(( $2 * 10 ))); do grep -qF -- "$1" "$log" 2>/dev/null && return 0; sleep 0.1; done
  fail "no log line: $1"
}
