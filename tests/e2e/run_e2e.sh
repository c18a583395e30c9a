#!/usr/bin/env bash
# Runs the end-to-end checks against the built program in a fresh X server,
# D-Bus session and accessibility bus. Exits 77 (skipped) where any of them
# cannot be had here.
#   run_e2e.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for tool in xvfb-run xdotool dbus-run-session /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIPPED: python3-pyatspi is not installed"; exit 77; }
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_RUNTIME_DIR=$runtime
xvfb-run -a -s '-screen 0 1280x800x24 -nolisten tcp' dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  for _ in $(seq 100); do  # until the accessibility bus answers
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.1
  done
  exec /usr/bin/python3 "$0" "$1"' "$here/window_e2e.py" "$(cd "$1" && pwd)"
