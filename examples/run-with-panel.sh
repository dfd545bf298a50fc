#!/bin/sh
# Runs COMMAND... while an offscreen panel serves the session bus, then ends
# the panel. Meant to run inside its own bus: dbus-run-session -- run-with-panel.sh PANEL COMMAND...
# The panel starts from a power-on simulated chip and stores nothing.
set -eu
panel="$1"
shift
QT_QPA_PLATFORM=offscreen TUNEDESK_BACKEND=sim "$panel" --fresh-chip >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true' EXIT
tries=0
until busctl --user status io.github.tunedesk.Tunedesk >/dev/null 2>&1; do
  tries=$((tries + 1))
  [ "$tries" -le 300 ] || { echo "run-with-panel: the panel did not take its bus name" >&2; exit 1; }
  sleep 0.1
done
"$@"
