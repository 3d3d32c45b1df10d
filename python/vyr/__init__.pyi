from typing import Iterable, Iterator, List, NamedTuple, Optional, Tuple

import numpy as np
import numpy.typing as npt

DEFAULT_PORT: int
KINDS: Tuple[str, ...]
MISSING: int

class Error(Exception):
    exit_code: int
    text: str
    reason: str
    def __init__(self, text: str, reason: str = ...) -> None: ...

class ConnectError(Error): ...
class RefusedError(Error): ...
class NoAnswerError(Error): ...
class UsageError(Error, ValueError): ...

class Scan:
    kind: str
    number: int
    timestamp: int
    distance: npt.NDArray[np.int64]
    intensity: Optional[npt.NDArray[np.uint16]]
    step: npt.NDArray[np.int32]
    angle: npt.NDArray[np.float64]
    angle_deg: npt.NDArray[np.float64]
    def __len__(self) -> int: ...
    @property
    def echoes(self) -> npt.NDArray[np.int64]: ...
    def xy(self, echo: int = ...) -> npt.NDArray[np.float64]: ...

class Info:
    product: str
    firmware_version: str
    serial_number: str
    sensor_status: str
    measurement_state: str
    stable: bool
    min_step: int
    max_step: int
    min_distance: int
    max_distance: int
    scan_period_usec: int
    steps_per_scan: int
    min_angle_deg: float
    max_angle_deg: float

class AddressChange:
    address: str
    netmask: str
    gateway: str
    rebooted: bool
    verified: Optional[str]
    serial_number: Optional[str]

class Scans(Iterator[Scan]):
    def __iter__(self) -> Scans: ...
    def __next__(self) -> Scan: ...
    def close(self, quiet: bool = ...) -> None: ...
    def __enter__(self) -> Scans: ...
    def __exit__(self, *exc: object) -> None: ...

class Sensor:
    @classmethod
    def tcp(cls, host: str, port: int = ..., timeout: Optional[float] = ...) -> Sensor: ...
    @classmethod
    def serial(cls, device: str, baudrate: int = ...,
               timeout: Optional[float] = ...) -> Sensor: ...
    @property
    def target(self) -> str: ...
    @property
    def closed(self) -> bool: ...
    def close(self, quiet: bool = ...) -> None: ...
    def __enter__(self) -> Sensor: ...
    def __exit__(self, *exc: object) -> None: ...
    timeout: Optional[float]
    def info(self) -> Info: ...
    heater: Optional[bool]
    phase: int
    def scans(self, kind: str = ..., range: Optional[Tuple[int, int]] = ...,
              angles: Optional[Tuple[float, float]] = ..., group: int = ..., skip: int = ...,
              count: int = ..., sync: bool = ...) -> Scans: ...
    def scan(self, kind: str = ..., range: Optional[Tuple[int, int]] = ...,
             angles: Optional[Tuple[float, float]] = ..., group: int = ...) -> Scan: ...
    def reboot(self) -> None: ...
    def change_address(self, address: str, netmask: str, gateway: str, form: str = ...,
                       force: bool = ..., verify: bool = ...,
                       wait: float = ...) -> AddressChange: ...

def check_address(address: str, netmask: str, gateway: str,
                  sensor_on_loopback: bool = ...) -> str: ...

class Endpoint:
    target: str
    serial: bool
    address: Optional[str]
    port: Optional[int]
    device: Optional[str]
    baudrate: Optional[int]

class Found(Endpoint):
    product: str
    firmware_version: str
    serial_number: str
    measuring: bool
    def open(self, timeout: Optional[float] = ...) -> Sensor: ...

class Silent(Endpoint):
    reason: str

class Findings(List[Found]):
    silent: List[Silent]
    notes: List[str]

class Port(NamedTuple):
    name: str
    sensor: bool
    description: str

def find(ranges: Optional[Iterable[str]] = ..., port: int = ..., timeout: float = ...,
         serial: Optional[Iterable[str]] = ..., tcp: bool = ..., serial_ports: bool = ...,
         all_ports: bool = ...) -> Findings: ...
def ports() -> List[Port]: ...
