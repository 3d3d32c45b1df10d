"""Reads full multi-echo scans with intensities through vyr and prints scans per second of
wall time and of the reading thread's CPU time.

Usage: python_bench.py PORT SCANS   (a simulated sensor on 127.0.0.1:PORT)
"""

import sys
import time

import vyr

port, count = int(sys.argv[1]), int(sys.argv[2])
sensor = vyr.Sensor.tcp("127.0.0.1", port)
scans = sensor.scans("multiecho-intensity")
next(scans)  # the start of the measurement is not reading
start, cpu = time.perf_counter(), time.thread_time()
for _ in range(count):
    scan = next(scans)
seconds, cpu_seconds = time.perf_counter() - start, time.thread_time() - cpu
# Behind an unthrottled sender the stop's confirmation may not come through the backlog,
# which is of no concern here.
sensor.close(quiet=True)
print(f"{count / seconds:.1f} {count / cpu_seconds:.1f} {scan.distance.shape[0]}")
