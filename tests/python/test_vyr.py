"""The vyr module against vyr_sim on loopback TCP and a pseudo-terminal."""

import os
import signal
import socket
import subprocess
import sys
import textwrap
import time
import unittest

import numpy as np

import vyr

SIM = os.environ["VYR_SIM"]
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples",
                        "python")
FRONT = 384  # the simulator's AFRT: steps below count from here


def sim_distance(step, scan, echo):
    return 100 + (step * 37 + scan * 101) % 5000 + echo * 700


def sim_intensity(step, scan, echo):
    return (step * 53 + scan * 7 + echo * 1009) % 60000 + 1


def sim_echo_count(step, scan):
    return 1 + (step + scan) % 3


class Sim:
    """vyr_sim on 127.0.0.1 (a free port) and, with serial, a pseudo-terminal; stop() gives
    the lines it received as (msec, text)."""

    def __init__(self, *options, serial=False):
        self.record = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"vyr-py-{os.getpid()}-"
                                   f"{time.monotonic_ns()}.txt")
        args = [SIM, "--port", "0", "--record", self.record, *options]
        self.process = subprocess.Popen(args + (["--serial"] if serial else []),
                                        stdout=subprocess.PIPE, stdin=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline().split(":")[1])
        self.device = self.process.stdout.readline().split()[1] if serial else None

    def control(self, line):
        """Changes the running simulator as its options would."""
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline()
        if answer != "done\n":
            raise RuntimeError(f"vyr_sim did not take {line!r}: {answer!r}")

    def tcp(self, **options):
        return vyr.Sensor.tcp("127.0.0.1", self.port, **options)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
            self.process.stdout.close()
            self.process.stdin.close()
            with open(self.record) as lines:
                self.received = [(int(msec), text) for msec, text in
                                 (line.rstrip("\n").split("\t", 1) for line in lines)]
            os.remove(self.record)
        return self.received

    def commands(self):
        """What came after the open's "QT", "PP"."""
        return [text for _, text in self.stop()][2:]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Information(unittest.TestCase):
    def test_texts_over_tcp_and_the_pseudo_terminal(self):
        # A byte above 0x7F and an ESC come as their Latin-1 characters, never a decode error.
        with Sim("--version-field", "PROD=VYR\\xff\\x1b[2J", serial=True) as sim:
            for name, open_sensor in (("tcp", sim.tcp),
                                      ("serial", lambda: vyr.Sensor.serial(sim.device))):
                with self.subTest(name), open_sensor() as sensor:
                    info = sensor.info()
                    self.assertEqual(info.product, "VYR\xff\x1b[2J")
                    self.assertEqual(info.product.encode("latin-1"), b"VYR\xff\x1b[2J")
                    self.assertEqual((info.firmware_version, info.serial_number),
                                     ("1.2.3", "S0000001"))
                    self.assertTrue(info.stable)
                    self.assertEqual((info.min_step, info.max_step, info.steps_per_scan),
                                     (-340, 341, 682))
                    self.assertIn("steps_per_scan:    682", str(info).splitlines())


# kind, options of scans(), first and last step, group, the request sent
SCAN_CASES = [
    ("multiecho-intensity", {"range": (-1, 1)}, -1, 1, 1, "NE0383038500002"),
    ("intensity", {"range": (-1, 1)}, -1, 1, 1, "ME0383038500002"),
    ("multiecho", {"range": (-1, 1)}, -1, 1, 1, "ND0383038500002"),
    # A group reports its first step's values.
    ("distance", {"range": (-3, 5), "group": 3}, -3, 5, 3, "MD0381038903002"),
    ("distance", {"angles": (-0.4, 0.4)}, -1, 1, 1, "MD0383038500002"),
]


class Scans(unittest.TestCase):
    def test_each_kind_gives_the_simulated_values_and_time_stamps(self):
        for kind, options, first, last, group, request in SCAN_CASES:
            with self.subTest(kind=kind, **options), Sim() as sim:
                with sim.tcp() as sensor:
                    scans = list(sensor.scans(kind, count=2, **options))
                received = sim.stop()
                # Closing a link whose laser is on stops it.
                self.assertEqual([text for _, text in received][2:], [request, "QT"])
                steps = np.arange(first, last + 1, group)
                multi, with_intensity = kind.startswith("multiecho"), "intensity" in kind
                for number, scan in enumerate(scans):
                    self.assertEqual((scan.kind, scan.number), (kind, number))
                    np.testing.assert_array_equal(scan.step, steps)
                    np.testing.assert_allclose(scan.angle_deg, steps * 360 / 1024)
                    np.testing.assert_allclose(scan.angle, steps * 2 * np.pi / 1024)
                    # Shared by the scans of a measurement: no scan may change them for all.
                    self.assertFalse(scan.step.flags.writeable or scan.angle.flags.writeable)
                    self.assertEqual(scan.distance.shape, (len(steps), 3) if multi else
                                     (len(steps),))
                    self.assertEqual(scan.intensity is not None, with_intensity)
                    for index, step in enumerate(steps + FRONT):
                        echoes = sim_echo_count(step, number) if multi else 1
                        distances = [sim_distance(step, number, e) if e < echoes else 0
                                     for e in range(3 if multi else 1)]
                        self.assertEqual(np.atleast_1d(scan.distance[index]).tolist(), distances)
                        if with_intensity:
                            self.assertEqual(np.atleast_1d(scan.intensity[index]).tolist(),
                                             [sim_intensity(step, number, e) if d else 0
                                              for e, d in enumerate(distances)])
                # The simulator stamps a scan with the clock its record uses when it sends
                # it, one every 100 ms from the request on (later on a busy machine), all
                # before the stop came.
                asked, stopped = received[2][0], received[3][0]
                for number, scan in enumerate(scans):
                    self.assertGreaterEqual(scan.timestamp, asked + 100 * (number + 1) - 2)
                    self.assertLessEqual(scan.timestamp, stopped)

    def test_xy_in_metres_and_missing_echoes(self):
        with Sim() as sim, sim.tcp() as sensor:
            scan = sensor.scan("multiecho", range=(0, 2))
        missing = scan.distance == vyr.MISSING
        self.assertTrue(missing.any())
        for echo in range(3):
            xy = scan.xy(echo)
            self.assertEqual(np.isnan(xy[:, 0]).tolist(), missing[:, echo].tolist())
        np.testing.assert_allclose(np.hypot(*scan.xy().T), scan.distance[:, 0] / 1000)
        self.assertEqual(scan.echoes.tolist(), (~missing).sum(axis=1).tolist())

    def test_leaving_a_loop_or_the_with_block_stops_the_sensor(self):
        # The phase read after the stop shows the stop came first; the link's close would
        # send one as well while the laser is on.
        def broken_loop(sensor):
            for scan in sensor.scans():
                if scan.number == 2:
                    break
            return sensor.phase

        def dropped(sensor):
            sensor.scans("intensity")
            return sensor.phase

        def left_with(sensor):
            kept = sensor.scans("multiecho")
            next(kept)
        for way, after in ((broken_loop, ["%PG"]), (dropped, ["%PG"]), (left_with, [])):
            with self.subTest(way.__name__), Sim("--pacing", "fast") as sim:
                with sim.tcp() as sensor:
                    way(sensor)
                commands = sim.commands()
                self.assertEqual(commands[1:], ["QT"] + after, commands)

    def test_ctrl_c_during_a_read_stops_the_sensor(self):
        # One scan a second: the signal comes while a read waits.
        with Sim("--scans-per-minute", "60") as sim:
            child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(f"""
                import vyr
                with vyr.Sensor.tcp("127.0.0.1", {sim.port}) as sensor:
                    print("reading", flush=True)
                    for scan in sensor.scans():
                        pass
                """)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            self.assertEqual(child.stdout.readline(), "reading\n")
            time.sleep(0.3)
            child.send_signal(signal.SIGINT)
            sent = time.monotonic()
            _, err = child.communicate(timeout=10)
            self.assertLess(time.monotonic() - sent, 2.0)
            self.assertIn("KeyboardInterrupt", err)
            commands = sim.commands()
        self.assertEqual(commands[-1], "QT")
        self.assertEqual(commands.count("QT"), 1, commands)


ADDRESS = ("192.168.0.11", "255.255.255.0", "192.168.0.1")

# what is done, what it gives, the lines received after the opening
SETTING_CASES = [
    ("heater on", lambda s: setattr(s, "heater", True), None, ["%AH1"]),
    ("heater off", lambda s: setattr(s, "heater", False), None, ["%AH0"]),
    ("phase get", lambda s: s.phase, 45, ["%PG"]),
    ("phase set", lambda s: setattr(s, "phase", 7), None, ["%SP007"]),
    ("phase set max", lambda s: setattr(s, "phase", 359), None, ["%SP359"]),
    ("address compact", lambda s: s.change_address(*ADDRESS).address, "192.168.0.11",
     ["$IP192168000011255255255000192168000001", "RB", "RB"]),
    ("address dotted", lambda s: s.change_address(*ADDRESS, form="dotted").gateway,
     "192.168.0.1", ["$IP192.168.000.011 255.255.255.000 192.168.000.001", "RB", "RB"]),
    ("address forced", lambda s: s.change_address("192.168.0.255", *ADDRESS[1:], force=True)
     .rebooted, True, ["$IP192168000255255255255000192168000001", "RB", "RB"]),
    # The simulated sensor follows to another loopback address and is asked there who it is.
    ("address verified", lambda s: s.change_address("127.0.0.7", "255.255.255.0", "0.0.0.0",
                                                    verify=True).serial_number, "S0000001",
     ["$IP127000000007255255255000000000000000", "RB", "RB", "VV"]),
    ("reboot", lambda s: (s.reboot(), s.closed)[1], True, ["RB", "RB"]),
]


class Settings(unittest.TestCase):
    def test_the_exact_bytes_of_each_command(self):
        for name, action, result, lines in SETTING_CASES:
            with self.subTest(name), Sim("--phase", "45") as sim:
                with sim.tcp() as sensor:
                    self.assertEqual(action(sensor), result)
                self.assertEqual(sim.commands(), lines)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


# sim options, what is done (to the sensor and the sim), the exception, its text and a part
# of its reason
FAILURE_CASES = [
    ([], lambda s, sim: vyr.Sensor.tcp("127.0.0.1", free_port()), vyr.ConnectError,
     "could not open ethernet port.", "connection refused"),
    (["--fault", "refused-status", "--fault-command", "%AH"],
     lambda s, sim: setattr(s, "heater", True), vyr.RefusedError,
     "the sensor did not take the heater command", 'the sensor answered status "05'),
    (["--fault", "no-answer", "--fault-command", "%PG"], lambda s, sim: s.phase,
     vyr.NoAnswerError, "the sensor did not report its phase", "no answer within 1000 ms"),
    (["--fault", "close-after-status", "--fault-command", "VV"], lambda s, sim: s.info(),
     vyr.NoAnswerError, "receive error.", "connection lost: the sensor closed the connection"),
    # Closing amid a measurement the sensor will not stop is no success.
    ([], lambda s, sim: [s.scans(), sim.control("--fault ignore-stop"), s.close()],
     vyr.RefusedError,
     "the sensor did not confirm the stop", "may still be measuring"),
    ([], lambda s, sim: setattr(s, "phase", 360), vyr.UsageError,
     "phase: expected a whole number from 0 to 359, not 360", ""),
    ([], lambda s, sim: s.scan("range"), vyr.UsageError,
     'kind: expected distance, intensity, multiecho or multiecho-intensity, not "range"', ""),
    ([], lambda s, sim: s.scan(range=(-341, 0)), vyr.UsageError,
     "range=(-341, 0) is beyond the measurable range", "steps -340 to 341"),
    ([], lambda s, sim: vyr.Sensor.serial("ttyS0\0../../tmp"), vyr.UsageError,
     "device: expected a serial device name", ""),
    ([], lambda s, sim: s.change_address("192.168.0.11", "255.255.0.255", "192.168.0.1"),
     vyr.UsageError, "", "nothing was sent"),
]


class Errors(unittest.TestCase):
    def test_each_exception_with_its_reason(self):
        for options, action, error, text, reason in FAILURE_CASES:
            with self.subTest(text or reason), Sim(*options) as sim:
                with sim.tcp() as sensor, self.assertRaises(error) as raised:
                    action(sensor, sim)
                self.assertIsInstance(raised.exception, vyr.Error)
                self.assertIn(text, raised.exception.text)
                self.assertIn(reason, raised.exception.reason or raised.exception.text)
                self.assertEqual(str(raised.exception), f"{raised.exception.text} "
                                 f"({raised.exception.reason})" if raised.exception.reason
                                 else raised.exception.text)
                if error is vyr.UsageError:  # found before anything was sent
                    self.assertEqual(sim.commands(), [])

    def test_a_listener_that_never_accepts_is_no_answer_within_2_s(self):
        with socket.socket() as listener, socket.socket() as first:
            listener.bind(("127.0.0.1", 0))
            listener.listen(0)
            first.connect(listener.getsockname())
            with self.assertRaises(vyr.ConnectError) as raised:
                vyr.Sensor.tcp(*listener.getsockname())
        self.assertEqual(raised.exception.reason, "no answer within 2 s")
        self.assertEqual(raised.exception.exit_code, 3)


class Search(unittest.TestCase):
    def test_loopback_ranges_and_the_pseudo_terminal(self):
        with Sim(serial=True) as sim:
            found = vyr.find(ranges=["127.0.0.1-3"], port=sim.port, serial_ports=False)
            self.assertEqual([(f.target, f.product, f.serial_number) for f in found],
                             [(f"127.0.0.1:{sim.port}", "VYR-SIM01", "S0000001")])
            with found[0].open() as sensor:
                self.assertEqual(sensor.info().serial_number, "S0000001")
            on_serial = vyr.find(serial=[sim.device], tcp=False)
            self.assertEqual([(f.device, f.baudrate) for f in on_serial], [(sim.device, 115200)])
            # The network's question, the information of the sensor found, the port's.
            self.assertEqual([text for _, text in sim.stop()].count("VV"), 3)
        with self.assertRaises(vyr.UsageError):
            vyr.find(ranges=["127.0.0.0/8"], serial_ports=False)


class Examples(unittest.TestCase):
    def test_information_recording_and_a_fleet(self):
        output = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"vyr-py-{os.getpid()}.npz")
        with Sim() as sim:
            host = f"127.0.0.1:{sim.port}"
            for example, arguments, shown in (
                    ("info.py", [host], "serial_number:     S0000001"),
                    ("record.py", [host, output, "--count", "3", "--kind", "multiecho"],
                     "3 scans of 682 steps"),
                    ("heater_fleet.py", ["on", host], f"{host}: heater on")):
                with self.subTest(example):
                    run = subprocess.run([sys.executable, os.path.join(EXAMPLES, example),
                                          *arguments], capture_output=True, text=True,
                                         timeout=30)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    self.assertIn(shown, run.stdout)
        with np.load(output) as recorded:
            self.assertEqual(recorded["distance"].shape, (3, 682, 3))
        os.remove(output)


if __name__ == "__main__":
    unittest.main()
