#!/bin/sh
# Starts the monitor in a fresh working folder with its own per-user store under a virtual X
# server, waits for its window, closes it as a user does, and checks what it left behind.
# Usage: real_window_smoke.sh <kestrune binary> [screenshot.png]
set -eu
bin=$1
shot=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
hook=""
if [ -n "$shot" ]; then hook="sleep 2; import -window root '$shot'"; fi

run_once() {
  xvfb-run -a -s "-screen 0 1600x1000x24" sh -c '
    "$1" & pid=$!
    if ! python3 "$2" "Kestrune - Whole Market HFT/Algo Monitor" 30 "$3"; then
      echo "the window never appeared"; kill "$pid"; exit 1
    fi
    wait "$pid"' smoke "$bin" "$here/close_window.py" "$1"
}

run_once "$hook"

size=$(stat -c %s Kestrune.cfg)
[ "$size" = 2928 ] || { echo "Kestrune.cfg is $size bytes"; exit 1; }
version=$(od -An -tx1 -N8 Kestrune.cfg | tr -d ' \n')
[ "$version" = 0000000000000440 ] || { echo "Kestrune.cfg starts with $version"; exit 1; }
store="$XDG_CONFIG_HOME/Brenmoor/Kestrune.conf"
[ -f "$store" ] || { echo "no per-user store written"; exit 1; }
mode=$(stat -c %a "$store")
[ "$mode" = 600 ] || { echo "store mode $mode"; exit 1; }
# A second run that changes nothing saves the very same bytes.
cp Kestrune.cfg first.cfg
run_once ""
cmp -s first.cfg Kestrune.cfg || { echo "the second run saved different settings"; exit 1; }
echo "closed cleanly: Kestrune.cfg $size bytes, store mode $mode"
