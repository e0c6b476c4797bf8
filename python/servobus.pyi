"""The servo bus from Python, over the same core as the window and servoctl."""
import os
from typing import Any, Callable, Iterable, Iterator, Literal, Optional, Sequence, Tuple, Union

_Path = Union[str, "os.PathLike[str]"]

class ServoError(Exception):
    """Base of every error of the bus."""
    servo: Optional[int]
    reason: str

class NoAnswerError(ServoError):
    """The servo did not answer (whole) within the time-out."""

class DamagedAnswerError(ServoError):
    """An answer failed a check (header, ID, length or checksum); nothing of it was taken."""

class PortError(ServoError):
    """The serial port could not be used."""

class PortClosedError(PortError):
    """The port is closed, or its device is gone."""

class PortBusyError(PortError):
    """Another program holds the port."""

class PermissionDeniedError(PortError, PermissionError):
    """The port may not be opened by this user."""

class RangeRefusedError(ServoError, ValueError):
    """The value lies outside the memory-table item's range; the message is the page's."""

class FirmwareError(ServoError):
    """A firmware file could not be opened (无法打开固件) or read (固件格式错误)."""

class FlashError(ServoError):
    """A firmware transfer failed (升级失败)."""

class PortInfo:
    """A serial port of this system, as `servoctl ports` lists it."""
    @property
    def device(self) -> str: ...
    @property
    def by_id(self) -> Optional[str]: ...
    @property
    def driver(self) -> Optional[str]: ...
    @property
    def latency_ms(self) -> Optional[int]: ...
    @property
    def product(self) -> Optional[str]: ...
    @property
    def usb(self) -> bool: ...
    def __fspath__(self) -> str: ...

def ports() -> list[PortInfo]:
    """The serial ports of this system, in the order the window lists them."""

class Feedback:
    """One feedback poll: the fields `servoctl monitor --csv` has."""
    CSV_HEADER: str
    @property
    def time_ms(self) -> int: ...
    @property
    def time_us(self) -> int:
        """µs since the first poll; a back-to-back poll's own time."""
    @property
    def answered(self) -> bool: ...
    @property
    def position(self) -> int: ...
    @property
    def speed(self) -> int: ...
    @property
    def load(self) -> int: ...
    @property
    def voltage(self) -> float:
        """Volts."""
    @property
    def temperature(self) -> int: ...
    @property
    def moving(self) -> int: ...
    @property
    def current(self) -> int: ...
    @property
    def target(self) -> int: ...
    @property
    def fast_slow(self) -> int: ...
    @property
    def status(self) -> int:
        """Fault bits."""
    @property
    def status_text(self) -> str:
        """舵机正常, the faults, or 通信超时."""
    def csv(self) -> str:
        """The row `servoctl monitor --csv` prints for this poll."""

class TableRow:
    """One row of a servo's memory table, with the value of a poll."""
    @property
    def address(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def size(self) -> int: ...
    @property
    def text(self) -> str:
        """The value column's text."""
    @property
    def value(self) -> Optional[int]:
        """The decoded value; None for a row without one."""
    @property
    def area(self) -> str: ...
    @property
    def access(self) -> str: ...
    @property
    def minimum(self) -> Optional[int]: ...
    @property
    def maximum(self) -> Optional[int]: ...
    @property
    def writable(self) -> bool: ...

class Monitor(Iterator[Feedback]):
    """The polls of Servo.monitor()."""
    def __iter__(self) -> "Monitor": ...
    def __next__(self) -> Feedback: ...

class StepSample:
    """One feedback read of a step test."""
    time_ms: float
    answered: bool
    position: int
    speed: int
    load: int
    current: int
    voltage: float
    temperature: int
    status: int

class StepResult:
    """The figures and samples of one step test; a figure it never got to is None."""
    run: int
    values: dict[int, int]
    dead_ms: Optional[float]
    rise_ms: Optional[float]
    overshoot_pct: float
    settling_ms: Optional[float]
    steady_error: Optional[float]
    peak_load: int
    peak_current: int
    reached: bool
    start: int
    target: int
    samples: list[StepSample]

class Servo:
    """A servo on the port, by ID."""
    @property
    def id(self) -> int:
        """Its bus ID; follows a write of the ID and a restore."""
    @property
    def model(self) -> Optional[str]: ...
    @property
    def key(self) -> Optional[bytes]:
        """Its identification bytes (addresses 0 to 8)."""
    @property
    def rate(self) -> Optional[int]:
        """The rate a scan found it at."""
    @property
    def last_error(self) -> int:
        """The error byte of its last answer."""
    def identify(self) -> None:
        """Reads its identification bytes again."""
    def read(self, address: int, count: int) -> bytes:
        """Reads `count` bytes of memory from `address`."""
    def write(self, address: int, data: bytes) -> None:
        """Writes the bytes from `address` in one packet."""
    def move(self, target: int, *, speed: int = 0, time: int = 0, acceleration: int = 0) -> None:
        """Position command."""
    def torque(self, on: bool) -> None:
        """Switches its torque output on or off."""
    def feedback(self) -> Feedback:
        """One poll of its feedback range."""
    def monitor(self, interval: float = 0.05, *, count: Optional[int] = None,
                seconds: Optional[float] = None) -> Monitor:
        """Polls its feedback every `interval` seconds (0: back to back, timed in µs) until
        count, seconds or Ctrl-C."""
    def table(self) -> list[TableRow]:
        """Its memory table with the values of one poll."""
    def set(self, item: Union[int, str], value: int) -> None:
        """Writes one memory-table item, checked against its range."""
    def save(self, path: str) -> None:
        """Saves its EPROM block to a parameter file."""
    def load(self, path: str) -> None:
        """Writes a parameter file into it."""
    def restore(self) -> None:
        """Restores its factory parameters (ID 1, 115200 baud)."""
    def step(self, to: int, from_: Optional[int] = None, duration: float = 1.0, *, speed: int = 0,
             time: int = 0, acceleration: int = 0) -> StepResult:
        """Step test: to `from_` and at rest, then `to`, read back to back for `duration` s."""
    def sweep(self, swept: dict[int, Sequence[int]], *, to: int, from_: Optional[int] = None,
              duration: float = 1.0, repeat: int = 1, speed: int = 0, time: int = 0,
              acceleration: int = 0) -> list[StepResult]:
        """The step test once per value (grid point) of the swept addresses; originals restored."""
    def reset_angle(self) -> None:
        """Resets its angle."""
    def calibrate_middle(self, to: Optional[int] = None, dry_run: bool = False) -> dict[str, Any]:
        """Torque off, the correction that makes the position read `to` (default: the middle)
        written, checked and backed up. Keys: id, old_correction, new_correction, old_limits,
        new_limits, position, backup, reversed."""
    def record_travel(self, duration: float) -> Tuple[int, int, bool]:
        """Torque off, the position read for `duration` s while the joint is turned by hand:
        (low, high, crosses_seam), unwrapped across the seam. Writes nothing."""
    def set_limits(self, low: int, high: int) -> dict[str, Any]:
        """The angle limits, backed up, written and read back."""
    def undo_calibration(self) -> dict[str, Any]:
        """The latest calibration backup written back and read back."""

class Scan(Iterator[Servo]):
    """The servos a scan finds."""
    def __iter__(self) -> "Scan": ...
    def __next__(self) -> Servo: ...
    def close(self) -> None:
        """Ends the scan; the port's rate is restored."""

class Port:
    """The serial port with the bus owner over it. A context manager."""
    def __init__(self, name: Union[_Path, PortInfo, None] = None, rate: Optional[int] = None,
                 timeout: Union[int, Literal["auto"]] = 100,
                 catalogue: Optional[_Path] = None, *, exclusive: bool = False) -> None:
        """Opens the port at `rate` (None: 115200).

        A port that another program of this user holds (the window, `servoctl serve`) is
        attached to instead: every exchange runs on that program's bus, at its rate (None
        takes it; another rate raises PortError naming the program), and `shared_by` names
        it. Changing the rate and flashing firmware are refused there. `exclusive=True`
        never attaches: the port must be free, else PortBusyError as without sharing.
        """
    def __enter__(self) -> "Port": ...
    def __exit__(self, *args: object) -> bool: ...
    def close(self) -> None:
        """Closes the port."""
    @property
    def is_open(self) -> bool: ...
    @property
    def name(self) -> str: ...
    @property
    def shared_by(self) -> Optional[Tuple[str, int]]:
        """The program whose bus this port is attached to, as (program, pid), for example
        ('servo-debugger', 4711); None when the port is this program's own."""
    rate: int
    timeout: Union[int, Literal["auto"]]
    def servo(self, id: int, *, byte_order: int = -1, status_level: int = -1,
              position_address: int = -1) -> Servo:
        """The servo with bus ID `id` (254: broadcast)."""
    def __getitem__(self, id: int) -> Servo: ...
    def scan(self, first: int = 0, last: int = 253,
             rates: Union[Sequence[int], Literal["all"], None] = None) -> Scan:
        """Yields a Servo for each ID that answers, at each rate."""
    def sync_move(self, ids: Sequence[int], target: int, *, speed: int = 0, time: int = 0,
                  acceleration: int = 0) -> None:
        """One sync-write packet moving every servo of `ids`."""
    def reg_move(self, ids: Sequence[int], target: int, *, speed: int = 0, time: int = 0,
                 acceleration: int = 0) -> None:
        """A registered position write to each servo of `ids`."""
    def action(self) -> None:
        """Every servo performs its registered write."""
    def link_stats(self) -> dict[int, dict[str, int]]:
        """Per ID asked: requests, answered, timeouts, checksum_errors, malformed and
        latency_p50_us/p95/p99/max, for every exchange on this bus since it opened."""
    def bus_stats(self) -> dict[str, Any]:
        """'last_second' and 'since_open' (exchanges, bytes each way, their rates and
        busy_ratio) and 'echo'."""
    def health(self, ids: Optional[Sequence[int]] = None, *, duration: float = 1.0,
               interval: int = 100) -> list[dict[str, Any]]:
        """Polls the servos round after round for `duration` s, as servoctl health does; one
        row a servo: its link_stats(), id, model, last feedback (None if silent), alarms."""
    def reset_stats(self) -> None:
        """Sets the link statistics back to zero."""
    def flash(self, id: int, path: str, *, progress: Optional[Callable[[int, int], object]] = None,
              unlock: Optional[bytes] = None, in_loader: bool = False) -> int:
        """Writes a firmware file into servo `id`; returns the number of blocks.

        `unlock`: the loader's five unlock bytes (default: the built-in ones, the virtual
        bus's). `in_loader`: start at the unlock step, for a servo left in its loader."""

    def pose(self, ids: Sequence[int]) -> "Pose":
        """Reads each servo's position once (teaching: torque off, posed by hand)."""
    def play(self, motion: "Motion", *, loop: int = 1, speed: float = 1.0, rate: int = 50,
             release: bool = False) -> None:
        """Plays a motion, one sync write a tick; Ctrl-C stops it (holding, or torque off with
        `release=True`) and raises KeyboardInterrupt."""

class Pose:
    """A position for each of a set of servos, by bus ID."""
    def __init__(self, positions: dict[int, int]) -> None: ...
    @property
    def positions(self) -> dict[int, int]: ...
    @property
    def ids(self) -> list[int]: ...
    def __getitem__(self, id: int) -> int: ...
    def __len__(self) -> int: ...

class Motion:
    """Keyframes (a pose, the time to reach it, a hold), linear or minimum-jerk."""
    easing: Literal["linear", "minimum-jerk"]
    def __init__(self, easing: Literal["linear", "minimum-jerk"] = "minimum-jerk") -> None: ...
    @staticmethod
    def load(path: str) -> "Motion":
        """Reads a motion file; ValueError names the line or the field."""
    def save(self, path: str) -> None: ...
    def add(self, pose: Union[Pose, dict[int, int]], *, time_ms: int = 1000,
            hold_ms: int = 0) -> None: ...
    @property
    def keyframes(self) -> list[Tuple[Pose, int, int]]: ...
    def __len__(self) -> int: ...

class FirmwareImage:
    """A firmware file as the upgrade page loads it."""
    @property
    def kind(self) -> Literal["hex", "bin"]: ...
    @property
    def length(self) -> int: ...
    @property
    def data(self) -> bytes: ...
    @property
    def crcs(self) -> list[int]: ...
    @property
    def blocks(self) -> int: ...

def image(path: str) -> FirmwareImage:
    """Loads a firmware file as the upgrade page does."""

_ServoSpec = Union[str, Tuple[int, str], Tuple[int, str, int]]

class VirtualBus:
    """A virtual servo bus on a pseudo-terminal, in this process. A context manager."""
    def __init__(self, servos: Optional[Iterable[_ServoSpec]] = None,
                 catalogue: Optional[_Path] = None, *, load: float = 0.0,
                 plain_motion: bool = False, faults: Optional[Iterable[str]] = None,
                 echo: bool = False, supply_resistance: float = 0.0) -> None:
        """Starts the bus with the servos, under a constant `load` torque; `faults` as
        "ID:drop=SHARE" / "ID:corrupt=SHARE", `echo` a line that hands back what is sent,
        `supply_resistance` ohms of a shared supply. Two servos on one ID collide."""
    @property
    def device(self) -> str: ...
    def close(self) -> None:
        """Stops the bus."""
    def __enter__(self) -> "VirtualBus": ...
    def __exit__(self, *args: object) -> bool: ...
    def log(self) -> list[str]:
        """Every packet heard ("> ...") and sent ("< ...")."""
    def clear_log(self) -> None: ...
    drop_share: float
    corrupt_share: float
    reply_delay_ms: int
    load: float
    echo: bool
    def set_fault(self, id: int, *, drop: float = 0.0, corrupt: float = 0.0) -> None:
        """Faults of the servos at `id` alone."""
    def tally(self) -> list[dict[str, int]]:
        """Per servo: id, heard, answered, dropped, corrupted."""
    def refuse_blocks(self, count: int) -> None: ...
    def set_fault_bits(self, id: int, bits: int) -> None: ...
    def turn_by_hand(self, id: int, position: int) -> None:
        """Turns the shaft of servo `id` (torque off) to `position`, as read with no correction."""
    def reverse_correction(self, id: int) -> None:
        """The servo's position correction counts the other way from now on."""
    def memory(self, id: int) -> bytes: ...
    def set_memory(self, id: int, address: int, value: int) -> None: ...
    def loader_image(self) -> bytes: ...
    @property
    def loader_blocks(self) -> int: ...
    @property
    def loader_complete(self) -> bool: ...
