#!/usr/bin/env bash
# Starts the instrument simulator on a pseudo-terminal, points port 1 at it and runs the program.
set -euo pipefail
build="${1:-build}"
sim="$build/tools/sim/tarnolux-sim"
app="$build/src/tarnolux"

out=$(mktemp)
fifo=$(mktemp -u)
mkfifo "$fifo"
# The fifo keeps the simulator's command input open for as long as this script runs.
"$sim" < "$fifo" > "$out" &
sim_pid=$!
exec 3> "$fifo"
cleanup() { exec 3>&- || true; kill "$sim_pid" 2>/dev/null || true; rm -f "$out" "$fifo"; }
trap cleanup EXIT

for _ in $(seq 1 100); do
  grep -q '^TARNOLUX_COM1=' "$out" && break
  sleep 0.05
done
line=$(grep -m1 '^TARNOLUX_COM1=' "$out") || { echo "simulator did not start" >&2; exit 1; }
export "${line?}"
echo "Simulator on $TARNOLUX_COM1 (port 1). Open \"Connection\" in the program to connect."
"$app"
