#!/bin/sh
# Starts the monitor as the desktop menu does (--user-workdir) with its own per-user store under a
# virtual X server, waits for its window, closes it as a user does, and checks what it left
# behind; then once more with that folder given as --workdir.
# Usage: real_window_smoke.sh <kestrune binary> [screenshot.png]
set -eu
bin=$1
shot=${2:-}
case $shot in /* | "") ;; *) shot="$PWD/$shot" ;; esac
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/elsewhere"
cd "$work/elsewhere"
export XDG_CONFIG_HOME="$work/config"
export XDG_DATA_HOME="$work/data"
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
hook=""
if [ -n "$shot" ]; then hook="sleep 2; import -window root '$shot'"; fi

# run_once HOOK ARGS...
run_once() {
  hook_now=$1
  shift
  xvfb-run -a -s "-screen 0 1600x1000x24" sh -c '
    bin=$1 closer=$2 hook=$3
    shift 3
    "$bin" "$@" & pid=$!
    if ! python3 "$closer" "Kestrune - Whole Market HFT/Algo Monitor" 30 "$hook"; then
      echo "the window never appeared"; kill "$pid"; exit 1
    fi
    wait "$pid"' smoke "$bin" "$here/close_window.py" "$hook_now" "$@"
}

# --help and --version need no display at all.
env -u DISPLAY "$bin" --help | grep -q -- "--user-workdir" || { echo "no --help"; exit 1; }
env -u DISPLAY "$bin" --version | grep -qx "kestrune [0-9.]*" || { echo "no --version"; exit 1; }

run_once "$hook" --user-workdir
[ -z "$(ls -A)" ] || { echo "files left in the start folder: $(ls -A)"; exit 1; }
cd "$XDG_DATA_HOME/kestrune"
mode=$(stat -c %a .)
[ "$mode" = 700 ] || { echo "per-user data folder mode $mode"; exit 1; }

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
cd "$work"
run_once "" --workdir "$XDG_DATA_HOME/kestrune"
cd "$XDG_DATA_HOME/kestrune"
cmp -s first.cfg Kestrune.cfg || { echo "the second run saved different settings"; exit 1; }
echo "closed cleanly: Kestrune.cfg $size bytes, store mode $mode"
