#!/usr/bin/env bash
# Installs what is missing, builds, and starts the console against two
# simulated door phones on loopback. Everything the demo writes (settings, log,
# snapshots, recordings) stays under .demo/ in the checkout. Lines typed here
# go to the simulators: "ring", "call", "hangup", "door1 open", "relay1", ...
# for door phone 1, the same after "2 " for door phone 2; "quit" ends the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh
VN_TARGETS="velnora-manager doorphone-sim" bash scripts/build.sh release

demo="$root/.demo"
mkdir -p "$demo/data/VELNORA Manager" "$demo/config" "$demo/Documents" "$demo/run"
chmod 700 "$demo/run"
export XDG_DATA_HOME="$demo/data" XDG_CONFIG_HOME="$demo/config" XDG_RUNTIME_DIR="$demo/run"
printf 'XDG_DOCUMENTS_DIR="%s"\n' "$demo/Documents" > "$demo/config/user-dirs.dirs"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port1=$(free_port); port2=$(free_port)

# The console's settings: door phones 1 and 2 on the simulators, the others
# disabled. Written only where no demo settings exist yet, except the ports.
ini="$demo/data/VELNORA Manager/VELNORA_Manager.ini"
if [ ! -f "$ini" ]; then
  printf '[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=%s\r\nCheckBox2=1\r\nRemoteDoorPhoneIP2=127.0.0.2\r\nRemoteDoorVideoPort2=%s\r\nCheckBox3=0\r\nCheckBox4=0\r\nRemoteDoorPhoneIP3=127.0.0.3\r\nRemoteDoorPhoneIP4=127.0.0.4\r\nSipServerAdress=127.0.0.1\r\nSipProxyAdress=127.0.0.1\r\nSaveToJPG=1\r\nSaveToAVI=1\r\n' "$port1" "$port2" > "$ini"
  chmod 600 "$ini"
else
  sed -i -e "s/^RemoteDoorVideoPort1=.*/RemoteDoorVideoPort1=$port1\r/" -e "s/^RemoteDoorVideoPort2=.*/RemoteDoorVideoPort2=$port2\r/" "$ini"
fi

pids=()
app=""
cleanup() {
  # The console first (it closes as by its close button), then its peers and the screen.
  if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

fifo1="$demo/sim1.in"; fifo2="$demo/sim2.in"
rm -f "$fifo1" "$fifo2"; mkfifo "$fifo1" "$fifo2"
sim="$root/build/release/tools/doorphone-sim/doorphone-sim"
"$sim" --address 127.0.0.1 --port "$port1" --name "Front Door" --sip door1 < "$fifo1" > "$demo/sim1.log" 2>&1 & pids+=($!)
"$sim" --address 127.0.0.2 --port "$port2" --name "Back Gate" --sip door2 --sensor1 < "$fifo2" > "$demo/sim2.log" 2>&1 & pids+=($!)
exec 7>"$fifo1" 8>"$fifo2"

if [ -z "${DISPLAY:-}" ]; then
  # No desktop: a virtual screen with a window manager and a tray.
  export DISPLAY=:91
  # The server names its display on fd 1 once it takes clients.
  exec 9< <(exec Xvfb :91 -displayfd 1 -noreset -screen 0 1280x800x24 -nolisten tcp 2>/dev/null)
  pids+=($!)
  if ! read -r -t 30 _ <&9; then
    echo "The virtual screen :91 did not start (does another X server use :91?)" >&2
    exit 1
  fi
  # The tray once the window manager has run its start-up command: a window
  # shown while it starts may be taken over late or not at all.
  ready="$demo/run/openbox.ready"
  rm -f "$ready"
  openbox --startup "touch '$ready'" >/dev/null 2>&1 & pids+=($!)
  for _ in $(seq 1 300); do [ -e "$ready" ] && break; sleep 0.1; done
  trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 & pids+=($!)
  echo "No DISPLAY: the console runs on the virtual screen $DISPLAY;"
  echo "take a picture of it with: DISPLAY=$DISPLAY import -window root shot.png"
fi

(cd "$root/assets" && exec "$root/build/release/velnora-manager") & app=$!
echo "VELNORA Manager is running with door phones on 127.0.0.1:$port1 and 127.0.0.2:$port2."
echo "Type simulator commands (ring, call, hangup, door1 open, door1 close, relay1, silent on, drop, forget, http stop, http start),"
echo "prefixed with '2 ' for door phone 2; 'quit' ends. The log: $demo/data/VELNORA Manager/VELNORA_Manager.log"
while kill -0 "$app" 2>/dev/null; do
  rc=0
  read -r -t 1 line || rc=$?
  if [ "$rc" -gt 128 ]; then continue; fi                 # time-out: check the console again
  if [ "$rc" -ne 0 ]; then wait "$app" || true; break; fi # end of input: wait for the console
  case "$line" in
    quit) break ;;
    "2 "*) echo "${line#2 }" >&8 ;;
    "") ;;
    *) echo "$line" >&7 ;;
  esac
done
