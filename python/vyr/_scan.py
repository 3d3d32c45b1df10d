"""One scan as NumPy arrays."""

import numpy as np

MISSING = 0
"""The distance of an echo the sensor did not see (multi-echo kinds): no real distance is 0."""


class Scan:
    """One scan of a measurement.

    Attributes:
        kind: ``"distance"``, ``"intensity"``, ``"multiecho"`` or ``"multiecho-intensity"``.
        number: counts the scans of one measurement from 0.
        timestamp: the sensor's time stamp in ms, as vyr scan gives it (counted from the
            start of the measurement with ``sync=True``).
        distance: ``int64`` array in mm, shape ``(steps,)``, or ``(steps, 3)`` for the
            multi-echo kinds: echoes in the order the sensor sent them; an echo it did not see
            is ``vyr.MISSING`` (0), so ``scan.distance > 0`` masks the echoes that are there.
        intensity: ``uint16`` array of the same shape (0 where the echo is missing), or
            ``None`` for the kinds without intensity.
        step: ``int32`` array ``(steps,)``: each value's step, counted from straight ahead;
            with ``group=N`` the first step of the group.
        angle: ``float64`` array ``(steps,)``, each step's direction in radians, 0 straight
            ahead, counter-clockwise positive.
        angle_deg: the same in degrees.

    ``step``, ``angle`` and ``angle_deg`` are read-only and shared by the scans of one
    measurement; ``distance`` and ``intensity`` are each scan's own.
    """

    __slots__ = ("kind", "number", "timestamp", "distance", "intensity", "step", "angle",
                 "angle_deg")

    def __init__(self, kind, number, timestamp, distance, intensity, step, angle, angle_deg):
        self.kind = kind
        self.number = number
        self.timestamp = timestamp
        self.distance = distance
        self.intensity = intensity
        self.step = step
        self.angle = angle
        self.angle_deg = angle_deg

    def __len__(self) -> int:
        """The number of steps."""
        return len(self.step)

    @property
    def echoes(self) -> np.ndarray:
        """Echoes seen per step, ``(steps,)`` (1 for the single-echo kinds where a value
        came)."""
        seen = self.distance != MISSING
        return seen.sum(axis=1) if seen.ndim == 2 else seen.astype(np.int64)

    def xy(self, echo: int = 0) -> np.ndarray:
        """The points of one echo in metres, shape ``(steps, 2)``: x straight ahead, y to the
        left. A step without that echo gives NaN in both columns."""
        distance = self.distance if self.distance.ndim == 1 else self.distance[:, echo]
        metres = np.where(distance != MISSING, distance / 1000.0, np.nan)
        return np.column_stack((metres * np.cos(self.angle), metres * np.sin(self.angle)))

    def __repr__(self) -> str:
        return (f"<vyr.Scan {self.kind} #{self.number} at {self.timestamp} ms, "
                f"{len(self)} steps from {self.angle_deg[0]:.3f} to {self.angle_deg[-1]:.3f} "
                f"degrees>")
