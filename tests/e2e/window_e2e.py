"""The built program in a real X window, driven with real input (xdotool) and
read through the accessibility interface (AT-SPI), as a person and a screen
reader use it."""
import os, resource, shutil, subprocess, sys, tempfile, time, traceback

import pyatspi

BUILD = sys.argv[1]
SAMPLE = b"".join(b"line %d of a sample the end-to-end test compresses\n" % i for i in range(3000))


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout.split()


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


def nodes(node):
    for child in node:
        if child is not None:
            yield child
            yield from nodes(child)


class Session:
    """One run of the program, started in a scratch folder of its own."""

    def __init__(self, program=os.path.join(BUILD, "brevimeter"), env=None, limit=None):
        self.folder = tempfile.mkdtemp(prefix="brevimeter-e2e-")
        with open(self.path("sample.txt"), "wb") as f:
            f.write(SAMPLE)
        self.process = subprocess.Popen(
            [program], cwd=self.folder, env=dict(os.environ, **(env or {})), stderr=subprocess.DEVNULL,
            preexec_fn=limit and (lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))))
        self.app = wait_for("the program on the accessibility bus", lambda: next(
            a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.get_process_id() == self.process.pid), 20)
        self.xid = wait_for("its window", lambda: xdotool(
            "search", "--onlyvisible", "--pid", str(self.process.pid), "--name", "^Brevimeter$")[0])
        xdotool("windowfocus", "--sync", self.xid)

    def path(self, name):
        return os.path.join(self.folder, name)

    def find(self, what, predicate):
        return wait_for(what, lambda: next(n for n in nodes(self.app) if predicate(n)))

    def value(self, caption):
        """A statistics figure, as a screen reader reads it after its row caption."""
        name = self.find(caption, lambda n: n.getRoleName() == "label" and n.description == caption).name
        return name[len(caption) + 2:]

    def type_into(self, field, text):
        node = self.find(field, lambda n: n.getRoleName() == "text" and n.name == field)
        x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", "--sync", str(x + w // 2), str(y + h // 2), "click", "1")
        xdotool("key", "ctrl+a", "BackSpace", "type", "--delay", "5", text)
        wait_for(f"{field} to read {text!r}", lambda: node.queryText().getText(0, -1) == text)

    def press(self, keys, until):
        xdotool("key", keys)
        return wait_for(f"the result of {keys}", until)

    def message(self):
        """The text of the message box now open, which the user then dismisses."""
        box = self.find("a message box", lambda n: n.getRoleName() == "alert")
        text = next(n.name for n in nodes(box) if n.getRoleName() == "label" and len(n.name) > 20)
        for xid in xdotool("search", "--onlyvisible", "--pid", str(self.process.pid), "--name", "^Brevimeter$"):
            if xid != self.xid:
                xdotool("windowfocus", "--sync", xid, "key", "Return")
        wait_for("the box to close", lambda: not box.getState().contains(pyatspi.STATE_SHOWING))
        xdotool("windowfocus", "--sync", self.xid)
        assert self.process.poll() is None, "the program ended"
        return text

    def close(self):
        self.process.terminate()
        self.process.wait(10)
        shutil.rmtree(self.folder, ignore_errors=True)


def compress_decompress_and_fail(s):
    s.type_into("Source File", "sample.txt")
    s.press("alt+c", lambda: s.value("Compression %"))
    packed = os.path.getsize(s.path("compress.dat"))
    assert s.value("Original Size") == f"{len(SAMPLE):,} bytes", s.value("Original Size")
    assert s.value("Compressed Size") == f"{packed:,} bytes", s.value("Compressed Size")
    assert s.value("Elapsed Time").endswith(" secs."), s.value("Elapsed Time")
    assert abs(float(s.value("Compression %")[:-1]) - (100 - packed / len(SAMPLE) * 100)) < 0.051
    s.type_into("Source File", "compress.dat")
    s.type_into("Target File", "back.txt")
    s.press("alt+d", lambda: os.path.exists(s.path("back.txt")))
    with open(s.path("back.txt"), "rb") as f:
        assert f.read() == SAMPLE
    # Past the file-size limit the library fails, and the program says so.
    with open(s.path("noise"), "wb") as f:
        f.write(os.urandom(2 << 20))
    s.type_into("Source File", "noise")
    s.type_into("Target File", "noise.zst")
    xdotool("key", "alt+c")
    assert 'noise.zst" was not found' in s.message()
    assert s.value("Compressed Size") == "", "no row keeps a figure of the earlier run"


def library_missing(s):
    s.type_into("Source File", "sample.txt")
    xdotool("key", "alt+c")
    text = s.message()
    assert "cannot be loaded" in text and "libnorvik" in text, text


def library_of_ones_own(s):
    s.type_into("Source File", "sample.txt")
    s.press("alt+c", lambda: s.value("Compression %"))
    assert s.value("Compressed Size") == " bytes", "the stand-in writes an empty target"


def main():
    alone = tempfile.mkdtemp(prefix="brevimeter-alone-")
    shutil.copy(os.path.join(BUILD, "brevimeter"), alone)
    checks = [
        ("Alt+C shows the files' figures, Alt+D gives the file back, a failure is a message",
         compress_decompress_and_fail, {"limit": 1 << 20}),
        ("a program that cannot find its library says so and goes on", library_missing,
         {"program": os.path.join(alone, "brevimeter")}),
        ("a library put first with LD_LIBRARY_PATH is the one called", library_of_ones_own,
         {"env": {"LD_LIBRARY_PATH": os.path.join(BUILD, "tests", "recording")}}),
    ]
    failed = 0
    for name, check, options in checks:
        s = None
        try:
            s = Session(**options)
            check(s)
            print(f"ok      {name}")
        except Exception:
            failed += 1
            print(f"FAILED  {name}")
            traceback.print_exc()
        finally:
            if s:
                s.close()
    shutil.rmtree(alone, ignore_errors=True)
    sys.exit(1 if failed else 0)


main()
