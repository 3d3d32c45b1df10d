"""The exceptions of vyr: each carries the driver's text and the reason, as vyr prints them."""


class Error(Exception):
    """A sensor operation failed.

    ``text`` is the driver's own text (``"could not open ethernet port."``), ``reason`` why,
    where known (``"connection refused"``), possibly empty. ``str(error)`` reads as vyr's error
    line: ``text (reason)``. ``exit_code`` is the code vyr exits with for the same failure.
    """

    exit_code = 1

    def __init__(self, text: str, reason: str = "") -> None:
        super().__init__(text, reason)
        self.text = text
        self.reason = reason

    def __str__(self) -> str:
        return f"{self.text} ({self.reason})" if self.reason else self.text


class ConnectError(Error):
    """The sensor could not be reached: refused, no answer within 2 s, no such device,
    permission denied, in use by another program, or no sensor answered on the link."""

    exit_code = 3


class RefusedError(Error):
    """The sensor answered, but refused the command or answered wrongly."""


class NoAnswerError(Error):
    """The sensor did not answer in time, or the link was lost (the reason then starts with
    ``"connection lost: "``)."""


class UsageError(Error, ValueError):
    """An argument the sensor could never take; found before anything is sent."""

    exit_code = 2
