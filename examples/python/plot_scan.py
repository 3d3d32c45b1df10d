#!/usr/bin/env python3
"""Plots one scan seen from above, the sensor at the origin, straight ahead up.
Needs matplotlib (apt install python3-matplotlib).

    python3 plot_scan.py 127.0.0.1:10940 --kind multiecho-intensity --output scan.png
"""

import argparse
import sys

import numpy as np

import vyr


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("host", help="ADDR[:PORT]")
    parser.add_argument("--kind", default="distance", choices=vyr.KINDS)
    parser.add_argument("--output", help="write a picture instead of showing a window")
    args = parser.parse_args()
    try:
        import matplotlib
        if args.output:
            matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        sys.exit("plot_scan.py: needs matplotlib (apt install python3-matplotlib)")
    host, _, port = args.host.partition(":")
    try:
        with vyr.Sensor.tcp(host, int(port or vyr.DEFAULT_PORT)) as sensor:
            scan = sensor.scan(args.kind)
    except vyr.Error as error:
        sys.exit(f"plot_scan.py: {args.host}: {error}")

    figure, axes = plt.subplots(figsize=(7, 7))
    echoes = scan.distance.shape[1] if scan.distance.ndim == 2 else 1
    for echo in range(echoes):
        x, y = scan.xy(echo).T
        # Straight ahead (x) points up, the left (y) to the left.
        colour = None
        if echo == 0 and scan.intensity is not None:
            colour = scan.intensity if scan.intensity.ndim == 1 else scan.intensity[:, 0]
        axes.scatter(-y, x, s=2, c=colour, label=f"echo {echo}")
    axes.plot(0, 0, "k^")
    axes.set_aspect("equal")
    axes.set_xlabel("m (left is negative)")
    axes.set_ylabel("m ahead")
    axes.set_title(f"{sensor.target}: scan {scan.number}, {scan.timestamp} ms, "
                   f"{np.count_nonzero(scan.distance)} echoes")
    if echoes > 1:
        axes.legend()
    if args.output:
        figure.savefig(args.output, dpi=100)
    else:
        plt.show()


if __name__ == "__main__":
    main()
