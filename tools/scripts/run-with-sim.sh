#!/usr/bin/env bash
# Starts the instrument simulator on a pseudo-terminal, points port 1 at it and runs the program.
# Lines typed into this terminal go to the simulator (try "help").
set -euo pipefail
build="${1:-build}"
sim="$build/tools/sim/tarnolux-sim"
app="$build/src/tarnolux"

work=$(mktemp -d)
out="$work/sim.out"
# The link keeps one device path even when the simulated line vanishes and returns.
"$sim" --link "$work/com1" <&0 > >(tee "$out") &
sim_pid=$!
cleanup() { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

for _ in $(seq 1 100); do
  grep -q '^TARNOLUX_COM1=' "$out" 2>/dev/null && break
  sleep 0.05
done
line=$(grep -m1 '^TARNOLUX_COM1=' "$out") || { echo "simulator did not start" >&2; exit 1; }
export "${line?}"
echo "Simulator on $TARNOLUX_COM1 (port 1). In the program press \"Connection\", then \"Close\"."
"$app"
