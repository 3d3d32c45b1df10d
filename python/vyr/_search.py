"""Finding sensors on networks and serial ports, and listing the ports."""

from dataclasses import dataclass
from typing import Iterable, List, NamedTuple, Optional

from . import _vyr
from ._errors import UsageError
from ._sensor import DEFAULT_PORT, Sensor


@dataclass(frozen=True)
class Endpoint:
    """Where the search heard something: ``target`` as vyr names it; ``address`` and
    ``port`` over TCP, ``device`` and ``baudrate`` (the rate it answered at) on a serial
    port."""

    target: str
    serial: bool
    address: Optional[str]
    port: Optional[int]
    device: Optional[str]
    baudrate: Optional[int]


@dataclass(frozen=True)
class Found(Endpoint):
    """A sensor that answered the search's ``VV``. ``measuring``: it was sending scans and
    was left so; its texts may then be empty."""

    product: str
    firmware_version: str
    serial_number: str
    measuring: bool

    def open(self, timeout: Optional[float] = None) -> Sensor:
        """Opens this sensor."""
        if self.serial:
            return Sensor.serial(self.device, self.baudrate or 115200, timeout)
        return Sensor.tcp(self.address, self.port, timeout)


@dataclass(frozen=True)
class Silent(Endpoint):
    """An endpoint that took the connection or the port but gave no sensor's answer:
    ``reason`` is ``"no answer"``, ``"not a sensor's answer"``, ``"in use"``, ..."""

    reason: str


class Findings(List[Found]):
    """The sensors found, addresses in numeric order, then serial ports by name. ``silent``
    lists the endpoints that answered as no sensor, ``notes`` says what the user may want
    to know (no address of the factory's subnet on this computer, no port marked)."""

    silent: List[Silent]
    notes: List[str]


class Port(NamedTuple):
    """A serial port: its name (``"ttyACM0"``), whether its USB product names a sensor's
    driver, and that description (empty when there is none)."""

    name: str
    sensor: bool
    description: str


def find(ranges: Optional[Iterable[str]] = None, port: int = DEFAULT_PORT,
         timeout: float = 0.5, serial: Optional[Iterable[str]] = None, tcp: bool = True,
         serial_ports: bool = True, all_ports: bool = False) -> Findings:
    """Searches for sensors, asking each endpoint nothing but ``VV``.

    ranges: ``"A.B.C.D/N"`` (N from 16), ``"A.B.C.D-E"`` or ``"A.B.C.D"``; by default the
        networks of this computer's interfaces (at most 1024 addresses each).
    port, timeout: the TCP port, and the wait for the connect and for the answer (seconds).
    serial: devices to try in place of the listed ports; all_ports: try every listed port,
        not only those marked as a sensor's. tcp=False or serial_ports=False leave out one
        kind of search.

    >>> vyr.find(ranges=["127.0.0.1-20"], serial_ports=False)   # doctest: +SKIP
    [Found(target='127.0.0.1:10940', ...)]
    """
    if isinstance(ranges, str) or isinstance(serial, str):
        raise UsageError("ranges and serial take a list of texts, not one text")
    if isinstance(timeout, bool) or not 0.001 <= timeout <= 60:
        raise UsageError(f"timeout: expected seconds from 0.001 to 60, not {timeout!r}")
    outcome = _vyr.find(None if ranges is None else list(ranges), port,
                        max(1, round(timeout * 1000)), None if serial is None else list(serial),
                        tcp, serial_ports, all_ports)
    found = Findings(Found(**item) for item in outcome["sensors"])
    found.silent = [Silent(**item) for item in outcome["silent"]]
    found.notes = list(outcome["notes"])
    return found


def ports() -> List[Port]:
    """The serial ports, those marked as a sensor's first."""
    return [Port(*entry) for entry in _vyr.ports()]
