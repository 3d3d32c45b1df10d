#!/usr/bin/env python3
"""Records scans into a NumPy .npz file: one array per field, scans along the first axis.

    python3 record.py 127.0.0.1:10940 scans.npz --count 100 --kind multiecho-intensity
    python3 -c "import numpy; print(numpy.load('scans.npz')['distance'].shape)"   # (100, 1081, 3)
"""

import argparse
import sys

import numpy as np

import vyr


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("host", help="ADDR[:PORT]")
    parser.add_argument("output", help="the .npz file to write")
    parser.add_argument("--count", type=int, default=100, help="scans to record")
    parser.add_argument("--kind", default="distance", choices=vyr.KINDS)
    args = parser.parse_args()
    host, _, port = args.host.partition(":")
    scans = []
    try:
        with vyr.Sensor.tcp(host, int(port or vyr.DEFAULT_PORT)) as sensor:
            for scan in sensor.scans(args.kind):
                scans.append(scan)
                if len(scans) == args.count:
                    break  # stops the measurement
    except KeyboardInterrupt:
        print(f"record.py: interrupted, {len(scans)} scans kept", file=sys.stderr)
    except vyr.Error as error:
        sys.exit(f"record.py: {args.host}: {error}")
    if not scans:
        sys.exit("record.py: no scan to write")
    fields = {
        "timestamp": np.array([scan.timestamp for scan in scans]),
        "distance": np.stack([scan.distance for scan in scans]),
        "step": scans[0].step,
        "angle": scans[0].angle,
    }
    if scans[0].intensity is not None:
        fields["intensity"] = np.stack([scan.intensity for scan in scans])
    np.savez_compressed(args.output, kind=args.kind, **fields)
    print(f"{len(scans)} scans of {len(scans[0])} steps written to {args.output}")


if __name__ == "__main__":
    main()
