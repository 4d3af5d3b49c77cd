#!/usr/bin/env python3
# Straightness of a forward (and backward) run, computed independently of the program.
#
#   python3 straightness_oracle.py [INPUT.json]      (standard input without a file)
#
# Input: {"baseLength": L_mm, "forward": [arcsec, ...], "backward": [arcsec, ...] or null}, the readings of
# stations 1 .. n in station order (a backward run's too). Output on standard output, heights in um,
# station 0 first: {"forward": [...], "backward": [...] or null, "mean": [...] (from the mean reading of
# each station), "reversal": [...] or null (forward - backward height), "reversalSd": sample SD of the
# reversal over stations 1 .. n or null, "deviations": {"endPoints", "leastSquares", "minimumZone"} of the
# mean profile}. The minimum zone is found by trying the slope through every pair of stations.
import json
import math
import statistics
import sys


def heights(readings, base):
    steps = [base * 1000.0 * math.tan(r * math.pi / 648000.0) for r in readings]
    return [math.fsum(steps[:k]) for k in range(len(steps) + 1)]


def width(xs, hs, slope):
    d = [h - slope * x for x, h in zip(xs, hs)]
    return max(d) - min(d)


def deviations(hs, base):
    xs = [i * base for i in range(len(hs))]
    n = len(xs)
    mx, mh = math.fsum(xs) / n, math.fsum(hs) / n
    lsq = math.fsum((x - mx) * (h - mh) for x, h in zip(xs, hs)) / math.fsum((x - mx) ** 2 for x in xs)
    zone = min(width(xs, hs, (hs[j] - hs[i]) / (xs[j] - xs[i])) for i in range(n) for j in range(i + 1, n))
    return {"endPoints": width(xs, hs, (hs[-1] - hs[0]) / (xs[-1] - xs[0])),
            "leastSquares": width(xs, hs, lsq), "minimumZone": zone}


def main():
    data = json.load(open(sys.argv[1]) if len(sys.argv) > 1 else sys.stdin)
    base, fwd, bwd = data["baseLength"], data["forward"], data.get("backward")
    out = {"forward": heights(fwd, base), "backward": None, "reversal": None, "reversalSd": None}
    mean = fwd
    if bwd is not None:
        out["backward"] = heights(bwd, base)
        mean = [(f + b) / 2 for f, b in zip(fwd, bwd)]
        out["reversal"] = [f - b for f, b in zip(out["forward"], out["backward"])]
        if len(fwd) >= 2:
            out["reversalSd"] = statistics.stdev(out["reversal"][1:])
    out["mean"] = heights(mean, base)
    out["deviations"] = deviations(out["mean"], base)
    json.dump(out, sys.stdout)
    print()


if __name__ == "__main__":
    main()
