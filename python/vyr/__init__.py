"""vyr: VYR scanning laser range sensors from Python.

The driver, the setting commands and the search of the VYR Setting Tool, with scans as
NumPy arrays::

    import vyr
    with vyr.Sensor.tcp("192.168.0.10") as sensor:      # or vyr.Sensor.serial("ttyACM0")
        print(sensor.info())
        sensor.heater = True
        sensor.phase = 45
        scan = sensor.scan("multiecho-intensity")
        points = scan.xy()                               # (steps, 2) in metres
        for scan in sensor.scans("distance", range=(-90, 90), group=2):
            ...                                          # break stops the measurement

    vyr.find(ranges=["192.168.0.0/24"])
    vyr.ports()

Failures raise ``vyr.Error``: ``ConnectError``, ``RefusedError``, ``NoAnswerError`` or
``UsageError``, each with the driver's ``text`` and the ``reason``, as ``vyr`` prints them.
"""

from ._errors import ConnectError, Error, NoAnswerError, RefusedError, UsageError
from ._scan import MISSING, Scan
from ._search import Endpoint, Found, Findings, Port, Silent, find, ports
from ._sensor import (DEFAULT_PORT, KINDS, AddressChange, Info, Scans, Sensor,
                      check_address)

__all__ = [
    "AddressChange", "ConnectError", "DEFAULT_PORT", "Endpoint", "Error", "Found", "Findings",
    "Info", "KINDS", "MISSING", "NoAnswerError", "Port", "RefusedError", "Scan", "Scans",
    "Sensor", "Silent", "UsageError", "check_address", "find", "ports",
]

# help() and tracebacks name the classes as they are used: vyr.Sensor, not vyr._sensor.Sensor.
for _name in __all__:
    if isinstance(globals()[_name], type):
        globals()[_name].__module__ = __name__
del _name
