#!/usr/bin/env python3
"""Prints what a sensor says about itself.

    python3 info.py 127.0.0.1:10940          # over TCP (vyr_sim listens there)
    python3 info.py --serial ttyACM0         # over USB
"""

import argparse
import sys

import vyr


def open_sensor(args):
    if args.serial:
        return vyr.Sensor.serial(args.serial, args.baud)
    host, _, port = args.host.partition(":")
    return vyr.Sensor.tcp(host, int(port or vyr.DEFAULT_PORT))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("host", nargs="?", default="127.0.0.1", help="ADDR[:PORT]")
    parser.add_argument("--serial", help="serial device in place of TCP")
    parser.add_argument("--baud", type=int, default=115200)
    args = parser.parse_args()
    try:
        with open_sensor(args) as sensor:
            print(sensor.info())
    except vyr.Error as error:
        sys.exit(f"info.py: {args.serial or args.host}: {error}")


if __name__ == "__main__":
    main()
