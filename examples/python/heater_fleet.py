#!/usr/bin/env python3
"""Switches the heater of many sensors on or off at once, one thread a sensor.

    python3 heater_fleet.py on 127.0.0.1:10940 127.0.0.1:10941
    python3 heater_fleet.py off --hosts fleet.txt      # one ADDR[:PORT] a line, # comments

Exits with the highest of vyr's exit codes: 0 all done, 1 refused, 3 not reached.
"""

import argparse
import sys
from concurrent.futures import ThreadPoolExecutor

import vyr


def switch(target, on):
    host, _, port = target.partition(":")
    try:
        # The calls release the GIL, so the sensors are worked on in parallel.
        with vyr.Sensor.tcp(host, int(port or vyr.DEFAULT_PORT)) as sensor:
            sensor.heater = on
        return target, None
    except vyr.Error as error:
        return target, error


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("state", choices=["on", "off"])
    parser.add_argument("targets", nargs="*", help="ADDR[:PORT]")
    parser.add_argument("--hosts", help="file with one ADDR[:PORT] a line")
    args = parser.parse_args()
    targets = list(args.targets)
    if args.hosts:
        with open(args.hosts) as lines:
            targets += [line.split("#")[0].strip() for line in lines if line.split("#")[0].strip()]
    if not targets:
        parser.error("no sensor named")
    exit_code = 0
    with ThreadPoolExecutor(max_workers=16) as pool:
        for target, error in pool.map(lambda t: switch(t, args.state == "on"), targets):
            if error is None:
                print(f"{target}: heater {args.state}")
            else:
                print(f"heater_fleet.py: {target}: {error}", file=sys.stderr)
                exit_code = max(exit_code, error.exit_code)
    sys.exit(exit_code)


if __name__ == "__main__":
    main()
