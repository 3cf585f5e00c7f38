"""Client of the companion simulator, tollsim.exe.

The simulator speaks one line per command over TCP on 127.0.0.1: fields
separated by TAB, UTF-8, TAB/CR/LF/backslash escaped as \\t \\r \\n \\\\.
The reply is "ok[\\t...]" or "err\\t<reason>"; `events` and `children` follow
"ok" with one line per item and a final "end". Window handles are decimal.
"""

import socket
import subprocess
import time
from dataclasses import dataclass

from .paths import win_build_dir
from .wait import wait_until

WM_COMMAND = 0x0111
WM_CLOSE = 0x0010

_ESCAPES = {"\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n"}
_UNESCAPES = {"t": "\t", "r": "\r", "n": "\n"}


class SimError(Exception):
    """The simulator answered "err"; args[0] is its reason."""


@dataclass(frozen=True)
class Event:
    seq: int
    hwnd: int
    kind: str    # settext, click, click-ignored, setcursel, close, keydown, keyup, lbuttondown,
                 # lbuttonup, moved, zorder, shown, hidden, command, destroyed
    detail: str  # text, index, key, "x,y", "x,y,topmost", "topmost"/"notopmost" or a child handle


@dataclass(frozen=True)
class Child:
    hwnd: int
    cls: str
    text: str


def _escape(field):
    return "".join(_ESCAPES.get(c, c) for c in str(field))


def _unescape(field):
    out, chars = [], iter(field)
    for c in chars:
        if c == "\\":
            c = next(chars, "\\")
            c = _UNESCAPES.get(c, c)
        out.append(c)
    return "".join(out)


def _option(key, value):
    if isinstance(value, bool):
        value = int(value)
    elif isinstance(value, (list, tuple)):
        value = "|".join(value)
    return f"{key}={value}"


class Sim:
    """A connection to one running simulator. Every socket operation has a
    time-out, so a stuck simulator fails the test instead of hanging it."""

    def __init__(self, port, process=None, timeout=10.0):
        self.port = port
        self.process = process
        self._socket = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self._socket.settimeout(timeout)
        self._file = self._socket.makefile("rwb")

    # Protocol.

    def raw(self, line):
        """Sends one line (bytes, without line end) and returns the reply line as text."""
        self._file.write(line + b"\n")
        self._file.flush()
        reply = self._file.readline()
        if not reply.endswith(b"\n"):
            raise SimError(f"simulator closed the connection (after {line[:60]!r})")
        return reply[:-1].decode("utf-8")

    def command(self, name, *fields, **options):
        """Runs a command; returns the reply's fields after "ok". Raises SimError on "err"."""
        parts = [name, *map(_escape, fields), *(_escape(_option(k, v)) for k, v in options.items())]
        reply = self.raw("\t".join(parts).encode("utf-8"))
        status, *values = [_unescape(f) for f in reply.split("\t")]
        if status == "err":
            raise SimError(values[0] if values else "unknown error")
        if status != "ok":
            raise SimError(f"unexpected reply {reply!r}")
        return values

    def _listing(self, name, *fields):
        self.command(name, *fields)
        rows = []
        while True:
            line = self._file.readline()
            if not line.endswith(b"\n"):
                raise SimError(f"simulator closed the connection inside {name}")
            text = line[:-1].decode("utf-8")
            if text == "end":
                return rows
            rows.append([_unescape(f) for f in text.split("\t")])

    def _int(self, name, *fields):
        return int(self.command(name, *fields)[0])

    def _bool(self, name, *fields):
        return self.command(name, *fields)[0] == "1"

    # Creating windows. Options: hidden, x, y, w, h (pixels), fill ("RRGGBB");
    # children also items (list), onclick ("close" or "disable") and moving
    # (True: a camera preview that shows a new picture every half second).

    def dialog(self, caption, **options):
        """A top-level "#32770" dialog that closes on WM_CLOSE."""
        return self._int("dialog", caption, *_opts(options))

    def window(self, cls, caption="", **options):
        """A top-level window of any class name; "#32770" makes a dialog."""
        return self._int("window", cls, caption, *_opts(options))

    def child(self, parent, cls, caption="", **options):
        """A child control: Button, Edit, Static, ComboBox directly; names with
        "Button", "Edit", "ComboBox", "ListBox" behave as those controls;
        other names are plain containers."""
        return self._int("child", parent, cls, caption, *_opts(options))

    # Reading windows (the simulator's own and other programs').

    def text(self, hwnd):
        return self.command("text", hwnd)[0]

    def class_name(self, hwnd):
        return self.command("class", hwnd)[0]

    def exists(self, hwnd):
        return self._bool("exists", hwnd)

    def visible(self, hwnd):
        return self._bool("visible", hwnd)

    def enabled(self, hwnd):
        return self._bool("enabled", hwnd)

    def checked(self, hwnd):
        return self._bool("checked", hwnd)

    def topmost(self, hwnd):
        return self._bool("topmost", hwnd)

    def rect(self, hwnd):
        """(left, top, right, bottom) in screen coordinates."""
        return tuple(int(v) for v in self.command("rect", hwnd))

    def cursel(self, hwnd):
        return self._int("cursel", hwnd)

    def cursor(self):
        return tuple(int(v) for v in self.command("cursor"))

    def foreground(self):
        return self._int("foreground")

    def find(self, cls="", caption=""):
        """FindWindowA; "" stands for "any". 0 when nothing matches."""
        return self._int("find", cls, caption)

    def findchild(self, parent, cls="", caption=""):
        """FindWindowExA over the direct children of parent (0: top-level windows)."""
        return self._int("findchild", parent, cls, caption)

    def children(self, hwnd):
        """Direct children in z-order."""
        return [Child(int(r[1]), r[2], r[3]) for r in self._listing("children", hwnd)]

    def acp(self):
        return self._int("acp")

    # Driving windows and input, as the cashier or another program would.

    def show(self, hwnd, visible=True):
        self.command("show", hwnd, int(visible))

    def enable(self, hwnd, enabled=True):
        """Only for the simulator's own windows."""
        self.command("enable", hwnd, int(enabled))

    def settext(self, hwnd, text):
        self.command("settext", hwnd, text)

    def destroy(self, hwnd):
        """Only for the simulator's own windows."""
        self.command("destroy", hwnd)

    def move(self, hwnd, x, y, topmost=None, size=None):
        """SetWindowPos; topmost True/False also sets the z-order as
        HWND_TOPMOST/HWND_NOTOPMOST do; size (w, h) also resizes."""
        options = {} if topmost is None else {"topmost": topmost}
        if size is not None:
            options.update(w=size[0], h=size[1])
        self.command("move", hwnd, x, y, *_opts(options))

    def activate(self, hwnd):
        """SetForegroundWindow; True when it succeeded."""
        return self._bool("activate", hwnd)

    def click(self, hwnd):
        """Sends BM_CLICK."""
        self.command("click", hwnd)

    def close(self, hwnd):
        """Sends WM_CLOSE (the call returns once the window has handled it)."""
        self.command("close", hwnd)

    def select(self, hwnd, index):
        """Sends CB_SETCURSEL; returns the control's answer."""
        return self._int("select", hwnd, index)

    def post(self, hwnd, msg, wparam=0, lparam=0):
        self.command("post", hwnd, msg, wparam, lparam)

    def send(self, hwnd, msg, wparam=0, lparam=0):
        """SendMessage with number parameters; returns the result."""
        return self._int("send", hwnd, msg, wparam, lparam)

    def sendkey(self, vk):
        """A key press and release, delivered to the focused window."""
        self.command("sendkey", vk)

    def mouseclick(self, x, y):
        """Moves the cursor to screen x, y and clicks the left button there."""
        self.command("mouseclick", x, y)

    # What the simulator's windows received.

    def events(self, kind=None, hwnd=None):
        """Recorded events in arrival order, optionally of one kind and/or window."""
        rows = [Event(int(r[1]), int(r[2]), r[3], r[4]) for r in self._listing("events")]
        return [e for e in rows if (kind is None or e.kind == kind) and (hwnd is None or e.hwnd == hwnd)]

    def wait_event(self, kind, hwnd=None, detail=None, timeout=5.0):
        """Waits until an event of that kind (window, detail) is recorded; returns it."""
        def matching():
            return [e for e in self.events(kind, hwnd) if detail is None or e.detail == detail]
        try:
            return wait_until(matching, timeout=timeout, message=f"event {kind} hwnd={hwnd} detail={detail!r}")[0]
        except AssertionError as error:
            raise AssertionError(f"{error}; recorded: {self.events()}") from None

    def clear(self):
        self.command("clear")

    # The camera preview stand-in (a child made with moving=True).

    def frame(self, hwnd):
        """The number of the picture the moving preview shows now."""
        return self._int("frame", hwnd)
    # The CTID window's embedded page, and a client that stops answering.

    def page(self, browser, elements=None, **options):
        """Gives a browser window (class "Internet Explorer_Server") a page
        that answers WM_HTML_GETOBJECT: `elements` are the inner HTML texts;
        options nested (count of elements nested in one another after them),
        leaf (the text inside the nesting), answers (False: the request gets
        0), vanish (True: the top-level window goes on the first element read),
        stall (ms: the second element read answers only after so long), bogus
        (a number the request is answered with instead of a document)."""
        if elements is not None:
            options["elements"] = elements
        self.command("page", browser, *_opts(options))

    def pagereads(self, browser):
        """How many element texts the page has handed out."""
        return self._int("pagereads", browser)

    def hang(self, ms):
        """After replying, the simulator stops answering any message for ms."""
        self.command("hang", ms)

    def answering(self, timeout=30.0):
        """Waits up to timeout s for a hung simulator to answer again."""
        previous = self._socket.gettimeout()
        self._socket.settimeout(timeout)
        try:
            self.command("acp")
        finally:
            self._socket.settimeout(previous)

    # A form's layout.

    def clientrect(self, hwnd):
        """(width, height, left, top): the client area's size and its
        top-left corner on the screen."""
        return tuple(int(v) for v in self.command("clientrect", hwnd))

    def items(self, hwnd):
        """A combo box's item texts in order."""
        return [r[1] for r in self._listing("items", hwnd)]

    # Lifetime.

    def ping(self):
        self.command("ping")

    def stop(self, timeout=10.0):
        """Asks the simulator to quit, then makes sure its process is gone."""
        try:
            self.command("quit")
        except (OSError, SimError):
            pass
        self._file.close()
        self._socket.close()
        if self.process is not None:
            try:
                self.process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=timeout)

    # Files held open as another program would: the self-update's tests.

    def hold_file(self, windows_path, share=None):
        """Opens (creating when missing) the file for reading, sharing read and
        write but not delete: it cannot be renamed or deleted until released.
        share="read": sharing read only, so nobody can write it either."""
        self.command("holdfile", windows_path, **({"share": share} if share else {}))

    def release_file(self, windows_path):
        self.command("releasefile", windows_path)


def _opts(options):
    """Options travel as key=value fields after the fixed ones."""
    return [_option(k, v) for k, v in options.items()]


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_sim(wine, timeout=30.0, attempts=3):
    """Starts tollsim.exe on a free port and returns a connected Sim."""
    exe = win_build_dir() / "tollsim.exe"
    if not exe.exists():
        raise FileNotFoundError(f"{exe} is missing; build it with "
                                "cmake --build <win build dir> --target tollsim")
    for _ in range(attempts):
        port = _free_port()
        process = wine.run([exe, port], log="tollsim")
        deadline = time.monotonic() + timeout
        while process.poll() is None and time.monotonic() < deadline:
            try:
                return Sim(port, process)
            except OSError:
                time.sleep(0.05)
        # Exited (exit code 3: the port was taken meanwhile) or never listened.
        if process.poll() is None:
            process.kill()
            process.wait(timeout=10)
            raise TimeoutError(f"tollsim did not listen on port {port} within {timeout} s")
    raise RuntimeError(f"tollsim could not listen after {attempts} attempts; see {wine.logs}")
