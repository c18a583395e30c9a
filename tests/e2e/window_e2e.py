"""The built program in a real X window, driven with real input (xdotool) and
read through the accessibility interface (AT-SPI), as a person and a screen
reader use it."""
import os, shutil, subprocess, sys, tempfile, time, traceback

import pyatspi

BUILD = sys.argv[1]
PROGRAM = os.path.join(BUILD, "brevimeter")
RECORDING = os.path.join(BUILD, "tests", "recording")
results = []


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def wait_for(what, condition, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        try:
            value = condition()
        except Exception:
            value = None
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def descendants(node):
    for child in node:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def text_of(node):
    try:
        return node.queryText().getText(0, -1)
    except NotImplementedError:
        return node.name


class Session:
    """One run of the program in its own scratch folder."""

    def __init__(self, program=PROGRAM, env=None):
        self.folder = tempfile.mkdtemp(prefix="brevimeter-e2e-")
        environment = dict(os.environ, **(env or {}))
        self.process = subprocess.Popen([program], cwd=self.folder, env=environment,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.app = wait_for("the program on the accessibility bus", self.find_app, 20)
        self.window = wait_for("the window", lambda: self.find(
            lambda n: n.name == "Brevimeter" and n.getRoleName() in ("frame", "window")))
        self.xid = wait_for("the X window", lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid), "--name", "^Brevimeter$"],
            capture_output=True, text=True).stdout.split()[0])
        self.focus_window()

    def find_app(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def find(self, predicate, root=None):
        for node in descendants(root or self.app):
            if predicate(node):
                return node
        return None

    def control(self, role, name):
        return wait_for(f"{role} {name!r}", lambda: self.find(
            lambda n: n.getRoleName() == role and n.name == name, self.window))

    def field(self, name):
        return text_of(self.control("text", name))

    def value(self, caption):
        """The figure in a statistics row, as a screen reader reads it after the caption."""
        label = wait_for(f"the {caption} value", lambda: self.find(
            lambda n: n.getRoleName() == "label" and n.description == caption, self.window))
        name = label.name
        assert name == caption or name.startswith(caption + ": "), name
        return name[len(caption) + 2:]

    def focused(self):
        node = self.find(lambda n: n.getState().contains(pyatspi.STATE_FOCUSED), self.window)
        return node.name if node else None

    def focus_window(self):
        # No window manager gives the focus back after a dialog: take it.
        xdotool("windowfocus", "--sync", self.xid)

    def click_at(self, node, clicks=1):
        x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", "--sync", str(x + w // 2), str(y + h // 2))
        xdotool("click", "--repeat", str(clicks), "--delay", "60", "1")

    def type_into(self, name, text):
        field = self.control("text", name)
        self.click_at(field)
        xdotool("key", "ctrl+a", "BackSpace")
        xdotool("type", "--delay", "5", text)
        wait_for(f"{name} to read {text!r}", lambda: self.field(name) == text)

    def message_box(self):
        """The text of a message box now open, or None."""
        for top in self.app:
            if top is not None and top.getRoleName() in ("alert", "dialog") and top.getState().contains(pyatspi.STATE_SHOWING):
                label = self.find(lambda n: n.getRoleName() == "label" and len(text_of(n)) > 20, top)
                if label:
                    return text_of(label)
        return None

    def dismiss_message_box(self):
        box = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid), "--name", "^Brevimeter$"],
                             capture_output=True, text=True).stdout.split()
        for xid in box:
            if xid != self.xid:
                xdotool("windowfocus", "--sync", xid)
        xdotool("key", "Return")
        wait_for("the message box to close", lambda: self.message_box() is None)
        self.focus_window()

    def path(self, name):
        return os.path.join(self.folder, name)

    def write_sample(self, name="sample.txt"):
        with open(self.path(name), "wb") as f:
            f.write(SAMPLE)

    def close(self):
        self.process.terminate()
        self.process.wait(10)
        shutil.rmtree(self.folder, ignore_errors=True)


def check(name):
    def register(test):
        results.append((name, test))
        return test
    return register


SAMPLE = b"".join(b"line %d of a sample the end-to-end test compresses\n" % i for i in range(3000))


@check("window title, accessible names and empty values")
def _(s):
    assert s.window.name == "Brevimeter"
    for role, name in (("text", "Source File"), ("text", "Target File"), ("push button", "Compress"), ("push button", "Decompress")):
        s.control(role, name)
    for caption in ("Original Size", "Compressed Size", "Elapsed Time", "Compression %"):
        s.control("label", caption)
        assert s.value(caption) == "", caption


@check("Tab and Shift+Tab move through the fields and buttons in order")
def _(s):
    order = ["Source File", "Target File", "Compress", "Decompress", "Source File"]
    wait_for("the source field to have the focus", lambda: s.focused() == "Source File")
    for expected in order[1:]:
        xdotool("key", "Tab")
        wait_for(f"focus on {expected}", lambda: s.focused() == expected)
    for expected in reversed(order[:-1]):
        xdotool("key", "shift+Tab")
        wait_for(f"focus on {expected}", lambda: s.focused() == expected)


@check("Alt+C from a text field compresses into compress.dat and shows the real sizes")
def _(s):
    s.write_sample()
    s.type_into("Source File", "sample.txt")
    xdotool("key", "alt+c")
    target = s.path("compress.dat")
    wait_for("compress.dat in the start folder", lambda: os.path.exists(target) and s.value("Compression %"))
    assert s.field("Target File") == "compress.dat"
    assert s.value("Original Size") == f"{len(SAMPLE):,} bytes", s.value("Original Size")
    assert s.value("Compressed Size") == f"{os.path.getsize(target):,} bytes", s.value("Compressed Size")
    assert s.value("Elapsed Time").endswith(" secs."), s.value("Elapsed Time")
    saved = 100 - os.path.getsize(target) / len(SAMPLE) * 100
    assert abs(float(s.value("Compression %")[:-1]) - saved) < 0.051, s.value("Compression %")


@check("Alt+D gives back the original byte for byte")
def _(s):
    s.write_sample()
    s.type_into("Source File", "sample.txt")
    s.type_into("Target File", "packed.zst")
    xdotool("key", "alt+c")
    wait_for("packed.zst", lambda: s.value("Compression %"))
    s.type_into("Source File", "packed.zst")
    s.type_into("Target File", "back.txt")
    xdotool("key", "alt+d")
    wait_for("back.txt", lambda: os.path.exists(s.path("back.txt")))
    with open(s.path("back.txt"), "rb") as f:
        assert f.read() == SAMPLE


@check("Space and Enter press the focused button")
def _(s):
    s.write_sample()
    s.type_into("Source File", "sample.txt")
    s.type_into("Target File", "by-space.zst")
    xdotool("key", "Tab", "space")
    wait_for("by-space.zst", lambda: os.path.exists(s.path("by-space.zst")))
    s.type_into("Target File", "by-enter.zst")
    xdotool("key", "Tab", "Return")
    wait_for("by-enter.zst", lambda: os.path.exists(s.path("by-enter.zst")))


@check("a missing source shows a message and the program goes on")
def _(s):
    s.type_into("Source File", "no-such-file")
    xdotool("key", "alt+c")
    text = wait_for("a message box", s.message_box)
    assert 'no-such-file" was not found' in text, text
    s.dismiss_message_box()
    assert s.process.poll() is None, "the program ended"
    assert s.value("Original Size") == ""
    s.type_into("Source File", "still typing")


@check("double-click opens the dialog; Escape keeps the field, confirming fills it")
def _(s):
    s.type_into("Target File", "typed by hand")
    s.click_at(s.control("text", "Target File"), clicks=2)
    dialog = wait_for("the file dialog", lambda: s.find(lambda n: n.getRoleName() == "dialog" and n.getState().contains(pyatspi.STATE_SHOWING)))
    time.sleep(0.3)
    xdotool("key", "Escape")
    wait_for("the dialog to close", lambda: not dialog.getState().contains(pyatspi.STATE_SHOWING))
    s.focus_window()
    assert s.field("Target File") == "typed by hand"

    s.click_at(s.control("text", "Target File"), clicks=2)
    wait_for("the file dialog", lambda: dialog.getState().contains(pyatspi.STATE_SHOWING))
    time.sleep(0.3)
    xdotool("type", "--delay", "5", "new-target.zst")
    xdotool("key", "Return")
    time.sleep(0.5)
    if dialog.getState().contains(pyatspi.STATE_SHOWING):
        xdotool("key", "Return")  # the first one closed a name completer
    wait_for("the dialog to close", lambda: not dialog.getState().contains(pyatspi.STATE_SHOWING))
    s.focus_window()
    expected = os.path.join(os.path.realpath(s.folder), "new-target.zst")
    wait_for("the chosen path", lambda: os.path.realpath(s.field("Target File")) == expected)


def missing_library(s):
    s.type_into("Source File", "anything")
    xdotool("key", "alt+c")
    text = wait_for("a message box", s.message_box)
    assert "cannot be loaded" in text and "libnorvik" in text, text
    s.dismiss_message_box()
    assert s.process.poll() is None


def own_library(s):
    s.write_sample()
    s.type_into("Source File", "sample.txt")
    xdotool("key", "alt+c")
    # The stand-in writes an empty target, which no zstd file is.
    wait_for("the figures", lambda: s.value("Compression %"))
    assert s.value("Compressed Size") == " bytes", s.value("Compressed Size")


def run(name, test, **session):
    s = None
    try:
        s = Session(**session)
        test(s)
        print(f"ok      {name}")
        return True
    except Exception:
        print(f"FAILED  {name}")
        traceback.print_exc()
        return False
    finally:
        if s:
            s.close()


def main():
    passed = failed = 0
    for name, test in results:
        ok = run(name, test)
        passed, failed = passed + ok, failed + (not ok)
    alone = tempfile.mkdtemp(prefix="brevimeter-alone-")
    shutil.copy(PROGRAM, alone)
    for name, test, session in (
        ("a program that cannot find its library says so and goes on", missing_library,
         {"program": os.path.join(alone, "brevimeter")}),
        ("a library put first with LD_LIBRARY_PATH is the one called", own_library,
         {"env": {"LD_LIBRARY_PATH": RECORDING}}),
    ):
        ok = run(name, test, **session)
        passed, failed = passed + ok, failed + (not ok)
    shutil.rmtree(alone, ignore_errors=True)
    print(f"e2e: {passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


main()
