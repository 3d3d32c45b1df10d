"""A sensor over TCP or a serial line: information, settings and scans."""

import numbers
from dataclasses import dataclass, fields
from typing import Iterator, Optional, Tuple

from . import _vyr
from ._errors import RefusedError, UsageError
from ._scan import Scan

DEFAULT_PORT = _vyr.DEFAULT_PORT
KINDS = _vyr.KINDS


def _whole(name: str, value, low: int, high: int) -> int:
    """value as an int from low to high, or a UsageError in vyr's words."""
    if isinstance(value, bool) or not isinstance(value, numbers.Integral) or \
            not low <= value <= high:
        raise UsageError(f"{name}: expected a whole number from {low} to {high}, not {value!r}")
    return int(value)


def _milliseconds(timeout: Optional[float]) -> int:
    if timeout is None:
        return 0
    if isinstance(timeout, bool) or not isinstance(timeout, numbers.Real) or \
            not 0.001 <= timeout <= 600:
        raise UsageError(f"timeout: expected seconds from 0.001 to 600, not {timeout!r}")
    return max(1, round(timeout * 1000))


@dataclass(frozen=True)
class Info:
    """What a sensor says about itself (``VV`` and ``II``), and the limits read when it was
    opened. Texts carry each byte of the sensor's as the Latin-1 character of that number."""

    product: str
    firmware_version: str
    serial_number: str
    sensor_status: str
    measurement_state: str
    stable: bool
    min_step: int
    max_step: int
    min_distance: int  # mm
    max_distance: int  # mm
    scan_period_usec: int
    steps_per_scan: int
    min_angle_deg: float
    max_angle_deg: float

    def __str__(self) -> str:
        """Aligned ``key: value`` lines, as ``vyr info`` prints them."""
        shown = [(f.name, getattr(self, f.name)) for f in fields(self)
                 if not f.name.endswith("_angle_deg")]
        width = max(len(name) for name, _ in shown)
        return "\n".join(
            f"{name}:{' ' * (width - len(name) + 1)}"
            f"{('yes' if value else 'no') if isinstance(value, bool) else value}"
            for name, value in shown)


@dataclass(frozen=True)
class AddressChange:
    """The outcome of ``Sensor.change_address``: the settings sent (without leading zeros),
    and with ``verify=True`` what the check found at the new address."""

    address: str
    netmask: str
    gateway: str
    rebooted: bool
    verified: Optional[str] = None
    serial_number: Optional[str] = None


class Scans:
    """The scans of one measurement, as an iterator; endless unless a count was given.

    Leaving the ``for`` loop (``break``, an exception, or dropping the iterator), ``close()``
    and leaving a ``with`` block stop the measurement ("QT"). A Ctrl-C during a read comes
    within the read's time-out; the sensor is stopped before ``KeyboardInterrupt`` is
    raised.
    """

    def __init__(self, sensor: "Sensor", kind: str, measurement: int) -> None:
        self._sensor = sensor
        self._kind = kind
        self._measurement = measurement
        self._running = True

    def __iter__(self) -> "Scans":
        return self

    def _current(self) -> bool:
        # The measurement is this iterator's and still running.
        return self._sensor._measurement == self._measurement and self._sensor._link.measuring

    def __next__(self) -> Scan:
        if not self._current():
            self._running = False
            raise StopIteration
        try:
            values = self._sensor._link.read()
        except BaseException:
            self.close(quiet=True)
            raise
        return Scan(self._kind, *values)

    def close(self, quiet: bool = False) -> None:
        """Stops the measurement unless it ended by itself. Raises ``RefusedError`` when the
        sensor did not confirm the stop (it may still be measuring), unless quiet."""
        running, self._running = self._running and self._current(), False
        if not running or self._sensor._stop() or quiet:
            return
        raise RefusedError("the sensor did not confirm the stop", self._sensor._link.stop_reason())

    def __enter__(self) -> "Scans":
        return self

    def __exit__(self, *exc) -> None:
        self.close(quiet=exc[0] is not None)

    def __del__(self) -> None:
        # Nobody to tell here; an unconfirmed stop is raised by the sensor's next operation.
        self.close(quiet=True)


class Sensor:
    """One VYR sensor, opened over TCP (``Sensor.tcp``) or a serial line (``Sensor.serial``).

    Use it in a ``with`` block: leaving it stops a running measurement ("QT") and closes
    the link. Every call blocks until the sensor answered or its time-out passed, without
    holding the GIL, so sensors on several threads work at once. Failures raise
    ``vyr.Error`` subclasses carrying vyr's texts.

    >>> with vyr.Sensor.tcp("127.0.0.1", 10940) as sensor:   # doctest: +SKIP
    ...     print(sensor.info())
    ...     sensor.heater = True
    ...     sensor.phase = 45
    ...     scan = sensor.scan("multiecho-intensity")
    """

    def __init__(self) -> None:
        """Use ``Sensor.tcp`` or ``Sensor.serial``."""
        self._link = _vyr.Link()
        self._heater: Optional[bool] = None
        # Numbers the measurements, so that an iterator knows whether it is the current
        # one without the sensor holding it (dropping it must stop the measurement).
        self._measurement = 0
        self._scanning = False  # a scans() iterator is under way
        self._timeout: Optional[float] = None

    @classmethod
    def tcp(cls, host: str, port: int = DEFAULT_PORT, timeout: Optional[float] = None) -> "Sensor":
        """Connects to a sensor at a dotted IPv4 address (leading zeros are decimal:
        ``"192.168.000.010"`` is 192.168.0.10) or ``"localhost"``. ``timeout`` (seconds)
        sets the reply time-out of information, scans and reboot; the setting commands keep
        theirs (heater 2 s, phase and address 1 s). Raises ``ConnectError``."""
        sensor = cls()
        sensor._link.open(False, host, _whole("port", port, 1, 65535), _milliseconds(timeout))
        sensor._timeout = timeout
        return sensor

    @classmethod
    def serial(cls, device: str, baudrate: int = 115200,
               timeout: Optional[float] = None) -> "Sensor":
        """Opens a sensor on a serial device: ``"ttyACM0"`` or a path such as
        ``"/dev/ttyACM0"``; ``vyr.ports()`` lists them. Raises ``ConnectError`` (permission
        denied: join the group dialout)."""
        sensor = cls()
        sensor._link.open(True, device, _whole("baudrate", baudrate, 1, 4000000),
                          _milliseconds(timeout))
        sensor._timeout = timeout
        return sensor

    @property
    def target(self) -> str:
        """``"127.0.0.1:10940"`` or the serial device, as vyr names it."""
        return self._link.target

    @property
    def closed(self) -> bool:
        return not self._link.is_open

    def close(self, quiet: bool = False) -> None:
        """Stops a running measurement and closes the link; closing twice does nothing.
        Raises ``RefusedError`` when the sensor did not confirm the stop (it may still be
        measuring), unless quiet; the link is closed all the same."""
        confirmed, reason = True, ""
        try:
            if self._link.measuring:
                confirmed = self._stop()
                reason = "" if confirmed else self._link.stop_reason()
        finally:
            self._link.close()
        if not confirmed and not quiet:
            raise RefusedError("the sensor did not confirm the stop", reason)

    def __enter__(self) -> "Sensor":
        return self

    def __exit__(self, *exc) -> None:
        # An exception on its way out is not to be replaced by one about the stop.
        self.close(quiet=exc[0] is not None)

    def __del__(self) -> None:
        if hasattr(self, "_link"):
            self.close(quiet=True)

    def __repr__(self) -> str:
        state = "closed" if self.closed else "measuring" if self._link.measuring else "open"
        return f"<vyr.Sensor {self.target or '(none)'} {state}>"

    def _stop(self) -> bool:
        self._measurement += 1
        self._scanning = False
        return self._link.stop()

    def _idle(self, what: str) -> None:
        # One exchange at a time: a setting sent amid scans would be read as one.
        if not self._link.measuring:
            return
        if self._scanning:
            raise UsageError(f"{what}: a measurement is running",
                             "end it first: leave its scans() loop or call close() on it")
        # An earlier stop was not confirmed: the sensor may still be sending.
        if not self._link.stop():
            raise RefusedError("the sensor did not confirm the stop", self._link.stop_reason())

    @property
    def timeout(self) -> Optional[float]:
        """The reply time-out of information, scans and reboot in seconds, as last set;
        ``None`` while the driver's own applies."""
        return self._timeout

    @timeout.setter
    def timeout(self, seconds: float) -> None:
        if seconds is None:
            raise UsageError("timeout: expected seconds from 0.001 to 600, not None")
        self._link.set_timeout(_milliseconds(seconds))
        self._timeout = seconds

    def info(self) -> Info:
        """Product, firmware version, serial number, status, measurement state, and the
        limits. Raises ``NoAnswerError`` naming the first text that did not come."""
        self._idle("info")
        return Info(**self._link.info())

    @property
    def heater(self) -> Optional[bool]:
        """Switches the heater (``%AH1``/``%AH0``). The sensor cannot be asked about it, so
        reading gives what was last set through this object, ``None`` before."""
        return self._heater

    @heater.setter
    def heater(self, on: bool) -> None:
        if not isinstance(on, bool):
            raise UsageError(f"heater: expected True or False, not {on!r}")
        self._idle("heater")
        self._link.set_heater(on)
        self._heater = on

    @property
    def phase(self) -> int:
        """The phase in whole degrees, 0 to 359: read from the sensor (``%PG``), or set
        (``%SP045``)."""
        self._idle("phase")
        return self._link.phase()

    @phase.setter
    def phase(self, degrees: int) -> None:
        degrees = _whole("phase", degrees, 0, 359)
        self._idle("phase")
        self._link.set_phase(degrees)

    def scans(self, kind: str = "distance", range: Optional[Tuple[int, int]] = None,
              angles: Optional[Tuple[float, float]] = None, group: int = 0, skip: int = 0,
              count: int = 0, sync: bool = False) -> Scans:
        """Starts a measurement and returns its scans as an iterator.

        kind: one of ``vyr.KINDS``: ``"distance"``, ``"intensity"``, ``"multiecho"``,
            ``"multiecho-intensity"``.
        range: ``(first, last)`` steps counted from straight ahead, or ``angles``:
            ``(from, to)`` in degrees; the whole range when neither is given. Beyond what
            the sensor measures is a ``UsageError`` and nothing is measured.
        group: steps merged into one value (0..99); skip: scans left out between two sent
            (0..9); count: scans to read, 1..99, or 0 (endless).
        sync: time stamps in ms from the start of the measurement.

        >>> for scan in sensor.scans("distance", range=(-90, 90), group=2):  # doctest: +SKIP
        ...     if scan.number == 10: break      # stops the measurement
        """
        if range is not None and angles is not None:
            raise UsageError("range and angles name the same thing; give one of them")
        steps = None if range is None else (_whole("range", range[0], -99999, 99999),
                                            _whole("range", range[1], -99999, 99999))
        if angles is not None:
            angles = tuple(float(a) for a in angles)
            if not all(-360 <= a <= 360 for a in angles):
                raise UsageError(f"angles: expected degrees from -360 to 360, not {angles!r}")
        self._idle("scans")
        self._link.start(kind, steps, angles, _whole("group", group, 0, 99),
                         _whole("skip", skip, 0, 9), _whole("count", count, 0, 99), bool(sync))
        self._measurement += 1
        self._scanning = True
        return Scans(self, kind, self._measurement)

    def scan(self, kind: str = "distance", range: Optional[Tuple[int, int]] = None,
             angles: Optional[Tuple[float, float]] = None, group: int = 0) -> Scan:
        """One scan; the arguments are those of ``scans``."""
        with self.scans(kind, range=range, angles=angles, group=group, count=1) as stream:
            return next(stream)

    def reboot(self) -> None:
        """Restarts the sensor (``RB`` twice); the link is closed afterwards."""
        self._idle("reboot")
        self._link.reboot()

    def change_address(self, address: str, netmask: str, gateway: str, form: str = "auto",
                       force: bool = False, verify: bool = False,
                       wait: float = 30.0) -> AddressChange:
        """Sends a new IP address, subnet mask and gateway and reboots the sensor into them;
        the link is closed afterwards.

        Settings a sensor could never be reached with (a mask with gaps, a network,
        broadcast, multicast or reserved address, a gateway outside the subnet) raise
        ``UsageError`` before anything is sent, unless ``force``. ``form``: ``"auto"``
        (compact, then dotted), ``"compact"`` or ``"dotted"``. With ``verify`` it waits up
        to ``wait`` seconds for the sensor to answer at its new address and raises
        ``NoAnswerError`` when it is not seen there.
        """
        self._idle("change_address")
        wait_ms = _whole("wait", round(wait * 1000) if isinstance(wait, numbers.Real) else wait,
                         1, 600000)
        return AddressChange(**self._link.change_address(address, netmask, gateway, form,
                                                         bool(force), bool(verify), wait_ms))


def check_address(address: str, netmask: str, gateway: str,
                  sensor_on_loopback: bool = False) -> str:
    """Why a sensor given these settings could not be reached, or ``""`` when it could. The
    check ``Sensor.change_address`` makes; nothing is sent."""
    return _vyr.address_refusal(address, netmask, gateway, sensor_on_loopback)
