"""The built program in a real X window, driven with real input (xdotool) and
read through the accessibility interface (AT-SPI), as a person and a screen
reader use it. Stops at the first check that fails."""
import os, resource, shutil, subprocess, sys, tempfile, time

import pyatspi

BUILD = sys.argv[1]
SAMPLE = b"".join(b"line %d of a sample the end-to-end test compresses\n" % i for i in range(3000))


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout.split()


def wait_for(what, condition, seconds=60):
    for _ in range(int(seconds / 0.05)):
        try:
            value = condition()
            if value:
                return value
        except Exception:
            pass
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


class Session:
    """One run of the program, started in a scratch folder of its own."""

    def __init__(self, name, program=os.path.join(BUILD, "brevimeter"), env=None, limit=None, arguments=()):
        print(f"...     {name}", flush=True)
        self.folder = tempfile.mkdtemp(prefix="brevimeter-e2e-")
        with open(os.path.join(self.folder, "sample.txt"), "wb") as f:
            f.write(SAMPLE)
        # The registry answers first, so that the program finds it when it starts.
        wait_for("the accessibility registry", lambda: pyatspi.Registry.getDesktop(0) is not None)
        # On a busy machine a program now and then misses the registry at its
        # start and never shows on the bus: it is started once more then.
        for attempt in (1, 2):
            self.process = subprocess.Popen(
                [program, *arguments], cwd=self.folder, env=dict(os.environ, **(env or {})), stderr=subprocess.DEVNULL,
                preexec_fn=limit and (lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))))
            try:
                self.app = wait_for("the program on the accessibility bus", lambda: next(
                    a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == self.process.pid))
                break
            except AssertionError:
                self.process.kill()
                self.process.wait()
                if attempt == 2:
                    raise
        self.windows = lambda: xdotool("search", "--onlyvisible", "--pid", str(self.process.pid), "--name", "^Brevimeter$")
        self.xid = wait_for("its window", self.windows)[0]
        xdotool("windowfocus", "--sync", self.xid)

    def find(self, what, predicate):
        return wait_for(what, lambda: pyatspi.findDescendant(self.app, predicate))

    def value(self, caption):
        """A statistics figure, as a screen reader reads it after its row caption."""
        return self.find(caption, lambda n: n.getRoleName() == "label" and n.description == caption).name[len(caption) + 2:]

    def type_into(self, field, text):
        node = self.find(field, lambda n: n.getRoleName() == "text" and n.name == field)
        x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", "--sync", str(x + w // 2), str(y + h // 2), "click", "1")
        xdotool("key", "ctrl+a", "BackSpace", "type", "--delay", "5", text)
        wait_for(f"{field} to read {text!r}", lambda: node.queryText().getText(0, -1) == text)

    def message(self):
        """The text of the message box now open, which the user then dismisses."""
        box = self.find("a message box", lambda n: n.getRoleName() == "alert")
        text = pyatspi.findDescendant(box, lambda n: n.getRoleName() == "label" and len(n.name) > 20).name
        xdotool("windowfocus", "--sync", next(x for x in self.windows() if x != self.xid), "key", "Return")
        wait_for("the box to close", lambda: not box.getState().contains(pyatspi.STATE_SHOWING))
        xdotool("windowfocus", "--sync", self.xid)
        assert self.process.poll() is None, "the program ended"
        return text

    def close(self):
        self.process.terminate(), self.process.wait(10), shutil.rmtree(self.folder)


s = Session("Alt+C shows the files' figures, Alt+D gives the file back, a failure is a message", limit=1 << 20)
s.type_into("Source File", "sample.txt")
xdotool("key", "alt+c")
wait_for("the figures", lambda: s.value("Compression %"))
packed = os.path.getsize(os.path.join(s.folder, "compress.dat"))
assert s.value("Original Size") == f"{len(SAMPLE):,} bytes", s.value("Original Size")
assert s.value("Compressed Size") == f"{packed:,} bytes", s.value("Compressed Size")
assert s.value("Elapsed Time").endswith(" secs."), s.value("Elapsed Time")
assert abs(float(s.value("Compression %")[:-1]) - (100 - packed / len(SAMPLE) * 100)) < 0.051
s.type_into("Source File", "compress.dat")
s.type_into("Target File", "back.txt")
xdotool("key", "alt+d")
wait_for("back.txt", lambda: open(os.path.join(s.folder, "back.txt"), "rb").read() == SAMPLE)
with open(os.path.join(s.folder, "noise"), "wb") as f:  # past the file-size limit once compressed
    f.write(os.urandom(2 << 20))
s.type_into("Source File", "noise")
s.type_into("Target File", "noise.zst")
xdotool("key", "alt+c")
assert 'wrote no file at "noise.zst"' in s.message()
assert s.value("Compressed Size") == "", "no row keeps a figure of the earlier run"
s.type_into("Source File", "missing.txt")
xdotool("key", "alt+c")
assert (text := s.message()) == 'Cannot read file "missing.txt": No such file or directory.', text
s.close()

# A copy of the program without its library, and a folder put first with LD_LIBRARY_PATH.
alone, first = tempfile.mkdtemp(prefix="brevimeter-alone-"), tempfile.mkdtemp(prefix="brevimeter-first-")
shutil.copy(os.path.join(BUILD, "brevimeter"), alone)
s = Session("without a library the program says so and goes on; one put first with LD_LIBRARY_PATH is the one called; "
            "Qt's own options are taken", program=os.path.join(alone, "brevimeter"), env={"LD_LIBRARY_PATH": first},
            arguments=("-style", "fusion", "-reverse"))
s.type_into("Source File", "sample.txt")
xdotool("key", "alt+c")
assert "cannot be loaded" in (text := s.message()) and "libnorvik" in text, text
shutil.copy(os.path.join(BUILD, "tests", "recording", "libnorvik.so"), first)
xdotool("key", "alt+c")
wait_for("the stand-in's one-byte target", lambda: s.value("Compressed Size") == "1 bytes")
s.close()
shutil.rmtree(alone), shutil.rmtree(first)
print("e2e: every check passed")
