#!/bin/bash
# One measured run of pelmor through the shared flood harness (its
# floodserver.py and lib.sh, in BENCH_DIR, by default ../shared/bench beside
# the repository), on a private Xvfb driven by xdotool: Start, the server
# typed into the combo box, Connect, then "/JOIN #bench" (chan, mixed) or
# "/LIST" (list). aux_cpu_s is Xvfb's CPU.
# Usage: bench/run_pelmor.sh chan|list|mixed [N]   (PELMOR=path/to/pelmor)
# PELMOR_HEADLESS=1: the client on the headless display instead, no Xvfb.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
BENCH_DIR=${BENCH_DIR:-$HERE/../../shared/bench}
PELMOR=${PELMOR:-$HERE/../build/windows/pelmor}
HEADLESS=${HEADLESS_BIN:-$HERE/../build/bench/pelmor_headless}
. "$BENCH_DIR/lib.sh"
SCEN=${1:-chan}
if [ -n "${PELMOR_HEADLESS:-}" ]; then
    # The client on the headless display (bench/pelmor_headless.cpp): no X
    # server; the JSON line gains what the client held at the end.
    bench_server pelmor-headless "$SCEN" "${2:-}"
    export XDG_CONFIG_HOME="$T/config"
    # PELMOR_DEBUG=1: with the debug window open.
    "$HEADLESS" "127.0.0.1:$PORT" "$SCEN" "$T/count" ${PELMOR_DEBUG:+debug} </dev/null >"$T/client.log" 2>&1 &
    CLIENT_PID=$!
    KILL_PIDS+=("$CLIENT_PID")
    bench_pids "$CLIENT_PID"
    bench_finish >"$T/final.json"
    [ -n "${BENCH_KEEP:-}" ] && cp -r "$T" "$BENCH_KEEP"
    python3 -c '
import json, sys
result = json.loads(open(sys.argv[2]).readline())
try:
    words = open(sys.argv[1]).read().split()
    result.update(listed=int(words[1]), windows=int(words[3]))
except (OSError, IndexError, ValueError):
    pass
print(json.dumps(result))' "$T/count" "$T/final.json"
    exit 0
fi
bench_server pelmor "$SCEN" "${2:-}" aux
DISP=$((100 + $$ % 800))
Xvfb ":$DISP" -screen 0 1600x1000x24 -nolisten tcp >"$T/xvfb.log" 2>&1 &
XPID=$!
for i in $(seq 100); do [ -e "/tmp/.X11-unix/X$DISP" ] && break; sleep 0.1; done
export DISPLAY=":$DISP" XDG_CONFIG_HOME="$T/config"
"$PELMOR" </dev/null >"$T/client.log" 2>&1 &
CLIENT_PID=$!
KILL_PIDS+=("$CLIENT_PID" "$XPID")
for i in $(seq 50); do [ -s "$T/port" ] && break; sleep 0.1; done
PORT=$(cat "$T/port")
origin() { # window title -> "X Y H" of its content
    local id; id=$(xdotool search --name "$1" | head -1)
    xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Height:/{h=$2} END{print x, y, h}'
}
for i in $(seq 50); do xdotool search --name '^Pelmor$' >/dev/null && break; sleep 0.1; done
sleep 0.5
read -r X Y H < <(origin '^Pelmor$')
for i in $(seq 10); do
    xdotool mousemove $((X + 70)) $((Y + 32)) click 1
    sleep 0.5
    xdotool search --name '^Server$' >/dev/null && break
done
sleep 0.3
read -r X Y H < <(origin '^Server$')
xdotool mousemove $((X + 60)) $((Y + 16)) click 1
xdotool key ctrl+a BackSpace
xdotool type --delay 5 "127.0.0.1:$PORT"
xdotool key Return
sleep 1
xdotool mousemove $((X + 100)) $((Y + H - 24)) click 1
if [ "$SCEN" = list ]; then xdotool type --delay 5 "/LIST"; else xdotool type --delay 5 "/JOIN #bench"; fi
xdotool key Return
bench_pids "$CLIENT_PID" "$XPID"
bench_finish
[ -n "${BENCH_SCREEN:-}" ] && xwd -root -silent >"$BENCH_SCREEN"
exit 0
