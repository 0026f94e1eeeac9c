#!/bin/sh
# Runs a command on a session bus of its own with an unlocked keyring, in a home of its own, so
# that nothing reaches the keyring of whoever runs the tests. Exit 77 (skipped) only when a tool
# is missing.
set -eu
for tool in dbus-run-session gnome-keyring-daemon; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
export XDG_RUNTIME_DIR="$home/run" KES_SESSION_KEYRING=1
mkdir -m 700 "$XDG_RUNTIME_DIR"
# An empty line is the new login keyring's password: it is created unlocked, with no prompt.
dbus-run-session -- sh -c 'echo | gnome-keyring-daemon --unlock --components=secrets >/dev/null &&
  exec "$@"' sh "$@"
