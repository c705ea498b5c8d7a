#!/usr/bin/env python3
"""The Windows program as an operator uses it: statekeeper.exe in a console window of
wineconsole on a virtual X display (Xvfb), against the test logbook service.

    windows_e2e.py BUILD_FOLDER

The caller sets WINEPREFIX to a wine prefix that is ready, may be changed (the test
authority goes into its root store and the program's files into its user folder) and
holds no files of the program yet.
Then the zip of `make package-windows` (BUILD_FOLDER/statekeeper-VERSION-win64.zip) is
unpacked, and its statekeeper.exe answers --version and makes updates with --update, run as
a script runs it: the exit statuses, the lines, and the lock between two processes.
Keys and mouse clicks go to the window through xdotool. What the console holds, its
characters and their colours, is read from inside wine by windows_test_aid.exe; what
the window shows is read from a screenshot (xwd). Prints one line per check and exits 0
when every check passed.
"""

import os
import pwd
import shutil
import struct
import subprocess
import sys
import tempfile
import glob
import time
import zipfile
from xml.etree import ElementTree

ROWS, COLUMNS = 43, 66
TITLE = "Statekeeper By Brannock Tarvel v2021.11.10"
UPDATE_PROMPT = "Press [Enter] to syncronize with your QRZ Logbook."
KEY = "XXXX-YYYY-ZZZZ-AAAA"
NORMAL = 0x1F     # bright white on blue
HIGHLIGHT = 0x4E  # yellow on red
# The sixteen colours of a console window as wine draws them.
PALETTE = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
           (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
           (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255)]
TOOLS = os.path.dirname(os.path.abspath(__file__))


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Failed(Exception):
    pass


class Check:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def __call__(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print(f"ok    {what}")
        else:
            self.failed += 1
            print(f"FAIL  {what}" + (f": {detail}" if detail else ""))
        return ok


class Snapshot:
    """What the program's console showed at one moment (windows_test_aid's format)."""

    def __init__(self, text):
        lines = text.split("\n")
        self.buffer = tuple(int(n) for n in lines[0].split())
        self.window = tuple(int(n) for n in lines[1].split())
        rows = self.window[3] - self.window[1] + 1
        self.rows = lines[2:2 + rows]
        self.attributes = [[int(line[i:i + 4], 16) for i in range(0, len(line), 4)]
                           for line in lines[2 + rows:2 + 2 * rows]]

    def row(self, number):
        return self.rows[number - 1] if 0 < number <= len(self.rows) else ""

    def attribute(self, row, column):
        return self.attributes[row - 1][column - 1]

    def holds(self, text):
        return any(text in row for row in self.rows)


class Session:
    def __init__(self, build, work):
        self.build = build
        self.work = work
        self.aid = os.path.join(build, "windows_test_aid.exe")
        self.display = None
        self.xvfb = None
        self.program = None

    # ---- processes ---------------------------------------------------------------------

    def start_display(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.work, "xvfb.log"), "wb"))
        os.close(write_end)
        with os.fdopen(read_end) as reader:
            number = reader.readline().strip()
        if not number:
            raise Failed("Xvfb did not start; see xvfb.log")
        self.display = ":" + number
        os.environ["DISPLAY"] = self.display

    def wine(self, *arguments, timeout=30):
        return subprocess.run(["wine", *arguments], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout)

    def start_program(self, endpoint):
        env = dict(os.environ, STATEKEEPER_LOGBOOK_URL=endpoint)
        self.program = subprocess.Popen(
            ["wine", "wineconsole", windows_path(os.path.join(self.build, "statekeeper.exe"))],
            env=env, cwd=self.work, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.work, "program.log"), "wb"),
            start_new_session=True)

    def stop(self):
        for process in (self.program, self.xvfb):
            if process is not None and process.poll() is None:
                process.kill()
                process.wait()

    # ---- reading the console and the window -------------------------------------------

    def snapshot(self):
        path = os.path.join(self.work, "snapshot.txt")
        result = self.wine(self.aid, "snapshot", "statekeeper.exe", windows_path(path))
        if result.returncode != 0:
            return None
        with open(path, encoding="utf-8") as f:
            return Snapshot(f.read())

    def wait_for(self, condition, what, seconds=30):
        """The first snapshot for which `condition` holds; Failed after `seconds`."""
        deadline = time.monotonic() + seconds
        last = None
        while time.monotonic() < deadline:
            last = self.snapshot() or last
            if last is not None and condition(last):
                return last
            if self.program.poll() is not None:
                break
            time.sleep(0.2)
        shown = "\n".join(last.rows) if last else "(no console)"
        raise Failed(f"{what} did not happen; the console showed:\n{shown}")

    def wait_for_text(self, text, seconds=30):
        return self.wait_for(lambda s: s.holds(text), f'"{text}" shown', seconds)

    def xdotool(self, *arguments):
        result = subprocess.run(["xdotool", *arguments], capture_output=True, text=True,
                                timeout=30)
        if result.returncode != 0:
            raise Failed(f"xdotool {' '.join(arguments)}: {result.stderr.strip()}")
        return result.stdout.strip()

    def find_window(self):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            found = subprocess.run(["xdotool", "search", "--name", "statekeeper"],
                                   capture_output=True, text=True).stdout.split()
            if found:
                self.window = found[0]
                try:
                    self.xdotool("windowfocus", "--sync", self.window)
                    return
                except Failed:
                    pass  # not shown yet
            time.sleep(0.2)
        raise Failed("no console window appeared")

    def wait_for_no_window(self):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if not subprocess.run(["xdotool", "search", "--name", "statekeeper"],
                                  capture_output=True, text=True).stdout.split():
                return
            time.sleep(0.2)
        raise Failed("the console window stayed after the program ended")

    def window_size(self):
        lines = self.xdotool("getwindowgeometry", self.window).splitlines()
        size = lines[-1].split(":")[1].strip()
        width, height = size.split("x")
        return int(width), int(height)

    def keys(self, *names):
        self.xdotool("key", "--delay", "30", *names)

    def type(self, text):
        self.xdotool("type", "--delay", "30", text)

    def click(self, row, column):
        """A left click in the middle of the cell at `row`, `column` (from 1)."""
        width, height = self.window_size()
        x = (column - 1) * width // COLUMNS + width // COLUMNS // 2
        y = (row - 1) * height // ROWS + height // ROWS // 2
        self.xdotool("mousemove", "--window", self.window, str(x), str(y))
        self.xdotool("click", "1")

    def cell_colours(self, row, column):
        """The background and the foreground colour of a cell on the screen: the colour of
        most of its pixels, and the most common other one (None for a blank cell)."""
        image = XwdImage(subprocess.run(["xwd", "-id", self.window, "-silent"],
                                        capture_output=True, check=True).stdout)
        width, height = image.width, image.height
        left, right = (column - 1) * width // COLUMNS, column * width // COLUMNS
        top, bottom = (row - 1) * height // ROWS, row * height // ROWS
        counts = {}
        for y in range(top, bottom):
            for x in range(left, right):
                colour = image.pixel(x, y)
                counts[colour] = counts.get(colour, 0) + 1
        ranked = sorted(counts, key=counts.get, reverse=True)
        return ranked[0], ranked[1] if len(ranked) > 1 else None


class XwdImage:
    def __init__(self, data):
        header = struct.unpack(">25I", data[:100])
        header_size, _, _, _, self.width, self.height = header[:6]
        self.byte_order, bits_per_pixel, self.bytes_per_line = header[7], header[11], header[12]
        self.masks = header[14:17]
        colours = header[19]
        if bits_per_pixel != 32:
            raise Failed(f"screenshot with {bits_per_pixel} bits per pixel")
        self.pixels = data[header_size + 12 * colours:]

    def pixel(self, x, y):
        offset = y * self.bytes_per_line + 4 * x
        value = int.from_bytes(self.pixels[offset:offset + 4],
                               "little" if self.byte_order == 0 else "big")
        return tuple((value & mask) >> (mask & -mask).bit_length() - 1 for mask in self.masks)


def program_folder():
    """%LOCALAPPDATA%\\Varnhold of the wine prefix, as a Linux path."""
    user = pwd.getpwuid(os.getuid()).pw_name
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", user, "AppData", "Local",
                        "Varnhold")


def run(session, check):
    if os.path.exists(program_folder()):
        raise Failed(f"{program_folder()} is there already: the check needs a first run")
    work = session.work
    service = os.path.join(work, "service")
    os.makedirs(service)
    subprocess.run([sys.executable, os.path.join(TOOLS, "generate_logbook.py"), "--seed", "73",
                    "--count", "3000", "--output", os.path.join(service, "logbook.adi")],
                   check=True)
    subprocess.run([sys.executable, os.path.join(TOOLS, "fake_logbook.py"), "--state-dir",
                    service, "--daemon", "--lifetime", "600"], check=True)
    try:
        port = open(os.path.join(service, "port")).read().strip()
        trusted = session.wine(session.aid, "trust", windows_path(os.path.join(service, "ca.pem")))
        if not check(trusted.returncode == 0, "the test authority is trusted",
                     trusted.stderr.decode(errors="replace")):
            return
        session.start_display()
        run_backend_tests(session, check)
        # WinHTTP checks the certificate's names; wine matches only DNS names, so the
        # service is reached as localhost.
        session.start_program(f"https://localhost:{port}/api")
        session.find_window()
        drive(session, check)
        unattended(session, check, service, f"https://localhost:{port}/api")
        # A first run again, one that fails, in a console window of its own.
        session.wait_for_no_window()
        shutil.rmtree(program_folder())
        first_run_failure(session, check)
        # Last, as it ends wine's session.
        session_end(session, check, service, f"https://localhost:{port}/api")
    finally:
        subprocess.run([sys.executable, os.path.join(TOOLS, "fake_logbook.py"), "--state-dir",
                        service, "--stop"])


def run_backend_tests(session, check):
    """The console backend's own tests, which need a real console and skip without one."""
    report = os.path.join(session.work, "backend.xml")
    session.wine("wineconsole", windows_path(os.path.join(session.build,
                                                           "console_windows_tests.exe")),
                 "--gtest_output=xml:" + windows_path(report), timeout=120)
    try:
        suite = ElementTree.parse(report).getroot()
    except (OSError, ElementTree.ParseError) as error:
        check(False, "the console backend's tests in a console window", str(error))
        return
    counts = {name: int(suite.get(name, "0")) for name in ("tests", "failures", "errors")}
    skipped = sum(1 for case in suite.iter("testcase") if case.find("skipped") is not None)
    failed = [case.get("name") for case in suite.iter("testcase")
              if case.find("failure") is not None]
    check(counts["tests"] > 0 and counts["failures"] == 0 and counts["errors"] == 0 and
          skipped == 0, f"the console backend's {counts['tests']} tests in a console window",
          f"failed: {failed}, skipped: {skipped}, errors: {counts['errors']}")


def answer_first_run(session):
    """Says yes to the introduction and types the account name and the API key."""
    session.keys("y")
    session.wait_for_text("Please enter your QRZ Account Name:", 10)
    session.type("k1abc")
    session.keys("Return")
    session.wait_for_text("Please enter you QRZ API Key:", 10)
    session.type(KEY)
    session.keys("Return")


def first_run_failure(session, check):
    """A first run that cannot reach the service, in the console's own 80 x 25 window:
    the notice, the reason and the line asking for a key stand each on a row of its own
    within the first 24 rows, as tests/golden/first_run_no_connection.txt has them."""
    session.start_program("https://127.0.0.1:9/api")  # nothing listens on port 9
    session.find_window()
    session.wait_for_text("If you are NOT ready tap any other key.")
    answer_first_run(session)
    shown = session.wait_for_text("Press any key to go on.", 60)
    golden = os.path.join(TOOLS, "..", "tests", "golden", "first_run_no_connection.txt")
    with open(golden, encoding="utf-8", newline="") as f:
        expected = f.read().split("\r\n")[:-1]
    rows = [shown.row(number).rstrip(" ") for number in range(3, 25)]
    width = shown.window[2] - shown.window[0] + 1
    check(width == 80 and len(shown.rows) == 25 and rows == expected and
          all(not row.strip() for row in shown.rows[24:]),
          "a first run's failure stands in rows 1 to 24 of an 80 x 25 console",
          f"window {shown.window}, rows 3 to 24:\n" + "\n".join(rows))
    session.keys("x")
    session.wait_for_text(UPDATE_PROMPT, 10)
    # The update page drops the first key for a while; "x" means nothing there.
    session.keys("x")
    time.sleep(0.1)
    session.keys("Escape")
    session.wait_for_text("Thanks for playing. You have a nice day.", 10)
    session.keys("x")
    session.program.wait(timeout=20)


def session_end(session, check, service, endpoint):
    """The session ends (logoff, shutdown) during a download: the download is cancelled
    and the program ends before the system ends it, changing no file."""
    folder = program_folder()
    with open(os.path.join(folder, "Keeper.ini"), "wb") as f:
        f.write(b"K1ABC\r\n" + KEY.encode() + b"\r\n")
    with open(os.path.join(service, "mode"), "w") as f:
        f.write("stall 120")
    session.start_program(endpoint)
    session.find_window()
    session.wait_for_text(UPDATE_PROMPT, 30)
    session.keys("Return")
    session.wait_for_text("One moment please", 10)
    user = pwd.getpwuid(os.getuid()).pw_name
    temp = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", user, "Temp",
                        "QRZ_LogBook.tmp")
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and not os.path.exists(temp):
        time.sleep(0.2)
    files = sorted(os.listdir(folder))
    ended = subprocess.run(["wine", "wineboot", "--end-session"], stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=60)
    try:
        session.program.wait(timeout=20)
        status = "ended"
    except subprocess.TimeoutExpired:
        status = "still running"
    check(os.path.exists(os.path.dirname(temp)) and not os.path.exists(temp) and
          ended.returncode == 0 and status == "ended" and sorted(os.listdir(folder)) == files,
          "the end of the session during a download ends the program, changes no file and "
          "leaves no reply behind",
          f"wineboot {ended.returncode}, program {status}, files {sorted(os.listdir(folder))}, "
          f"reply left: {os.path.exists(temp)}")


def drive(session, check):
    session.wait_for_text("If you are NOT ready tap any other key.")
    check(True, "the introduction is shown")
    answer_first_run(session)
    # The prompt's row can be there a moment before the Selector's colours are.
    shown = session.wait_for(lambda s: s.holds(UPDATE_PROMPT) and s.attribute(1, 1) != 0x7,
                             "the Update page drawn", 60)
    check(True, "the first run downloads the logbook and shows the Update page")

    check(shown.buffer == (COLUMNS, ROWS) and shown.window == (0, 0, COLUMNS - 1, ROWS - 1),
          "buffer and window are 66 x 43", f"buffer {shown.buffer}, window {shown.window}")
    title = session.xdotool("getwindowname", session.window)
    check(title == TITLE, "the window title", title)
    check(shown.attribute(1, 1) == NORMAL and shown.attribute(1, 58) == HIGHLIGHT,
          "Update is highlighted on the Selector in the console's cells",
          f"{shown.attribute(1, 1):#x} {shown.attribute(1, 58):#x}")
    # The window's pixels follow the console's cells a moment later.
    deadline = time.monotonic() + 10
    while session.cell_colours(30, 10)[0] != PALETTE[1] and time.monotonic() < deadline:
        time.sleep(0.2)
    background, foreground = session.cell_colours(1, 58)  # the "U" of "Update"
    check(background == PALETTE[4] and foreground == PALETTE[14],
          "the window draws Update yellow on red", f"{background} {foreground}")
    background, _ = session.cell_colours(30, 10)
    check(background == PALETTE[1], "the window draws the page blue", str(background))

    folder = program_folder()
    with open(os.path.join(folder, "Keeper.ini"), "rb") as f:
        settings = f.read()
    check(settings == b"K1ABC\r\n" + KEY.encode() + b"\r\n",
          "Keeper.ini under %LOCALAPPDATA%\\Varnhold holds the answers", repr(settings))
    with open(os.path.join(folder, "10m.txt"), "rb") as f:
        band = f.read().split(b"\r\n")
    confirmed = sum(1 for line in band[:50] if line.split(b",")[1].strip())

    # The update page drops the first key for a while; "x" means nothing there.
    session.keys("x")
    time.sleep(0.1)
    session.keys("Right")
    expected = f"Confirmed States: {confirmed}"
    shown = session.wait_for_text(expected, 10)
    check(shown.attribute(1, 3) == HIGHLIGHT, "Right arrow shows 10m with its confirmed states")

    session.keys("ctrl+c")
    time.sleep(0.5)
    shown = session.snapshot()
    check(session.program.poll() is None and shown is not None and shown.holds(expected),
          "Ctrl+C neither ends the program nor changes the screen")

    session.click(1, 54)
    shown = session.wait_for_text("Confirmed Countries", 10)
    check(shown.holds("    1 "), "a left click on DX shows the confirmed countries")

    session.keys("Left")  # the pager is left with Left or Right, back to the main loop
    session.wait_for_text("Total Confirmed:", 10)
    session.keys("Escape")
    session.wait_for_text("Thanks for playing. You have a nice day.", 10)
    check(True, "Esc says goodbye")
    session.keys("x")
    try:
        status = session.program.wait(timeout=20)
        check(status == 0, "the program ends with status 0", str(status))
    except subprocess.TimeoutExpired:
        check(False, "the program ends after the goodbye")


def unattended(session, check, service, endpoint):
    """The program of the zip, unpacked, run without a console as a scheduled task runs it,
    on the files that the first run above left."""
    zips = glob.glob(os.path.join(session.build, "statekeeper-*-win64.zip"))
    if not check(len(zips) == 1, "the zip of make package-windows is there", str(zips)):
        return
    unpacked = os.path.join(session.work, "unpacked")
    with zipfile.ZipFile(zips[0]) as archive:
        names = sorted(archive.namelist())
        archive.extractall(unpacked)
    folder = os.path.basename(zips[0])[:-len(".zip")]
    check(names == [f"{folder}/{name}" for name in ("LICENSE", "README.md", "statekeeper.exe")],
          "the zip holds statekeeper.exe, README.md and LICENSE in one folder", str(names))
    program = windows_path(os.path.join(unpacked, folder, "statekeeper.exe"))
    env = dict(os.environ, STATEKEEPER_LOGBOOK_URL=endpoint)

    def start(*arguments):
        return subprocess.Popen(["wine", program, *arguments], env=env, cwd=session.work,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def run(*arguments):
        process = start(*arguments)
        output, error = process.communicate(timeout=120)
        # Debian's wine script may add its own note about wine32 on standard error.
        error = "".join(line for line in error.decode(errors="replace").splitlines(True)
                        if line.startswith("statekeeper"))
        return process.returncode, output.decode(errors="replace"), error

    def set_mode(mode):
        with open(os.path.join(service, "mode"), "w") as f:
            f.write(mode)

    version = folder.split("-")[1]
    status, output, error = run("--version")
    check(status == 0 and output.strip() == f"statekeeper {version}",
          "the unpacked statekeeper.exe --version", f"{status} {output!r} {error!r}")

    status, output, error = run("--update")
    check(status == 0 and output.startswith("Syncronized: 3000 contacts, Process Time: ") and
          output.count("\n") == 1 and error == "",
          "--update synchronises and says so in one line (status 0)",
          f"{status} {output!r} {error!r}")
    status, output, _ = run("--needed", "20M")
    check(status == 0 and output.startswith("20m:") and output.count("\n") == 1,
          "--needed 20M prints the states missing on 20m", f"{status} {output!r}")
    status, output, _ = run("--countries")
    check(status == 0 and output.count("\n") > 10, "--countries prints the countries",
          f"{status} {output[:200]!r}")

    set_mode("fail500")
    status, _, error = run("--update")
    check(status == 1 and error.startswith("statekeeper: Update failed: nothing was changed"),
          "a failed --update says why (status 1)", f"{status} {error!r}")
    set_mode("ok")
    with open(os.path.join(service, "key"), "w") as f:
        f.write("ANOTHER-KEY")
    status, _, error = run("--update")
    check(status == 3 and KEY not in error, "a refused key (status 3)", f"{status} {error!r}")
    os.remove(os.path.join(service, "key"))
    settings = os.path.join(program_folder(), "Keeper.ini")
    os.rename(settings, settings + ".aside")
    requests = os.path.join(service, "requests.log")
    asked = os.path.getsize(requests)
    status, _, error = run("--update")
    os.rename(settings + ".aside", settings)
    check(status == 2 and os.path.getsize(requests) == asked,
          "without a Settings file nothing is asked (status 2)", f"{status} {error!r}")

    # The lock between two processes: a second update while one downloads fails at once.
    set_mode("stall 60")
    asked = os.path.getsize(requests)
    holder = start("--update")
    deadline = time.monotonic() + 60
    while os.path.getsize(requests) == asked and time.monotonic() < deadline:
        time.sleep(0.1)
    status, _, error = run("--update")
    check(status == 4 and "another update is running" in error,
          "a second --update while one runs (status 4)", f"{status} {error!r}")
    holder.kill()
    holder.communicate(timeout=60)
    set_mode("ok")
    status, output, error = run("--update")
    check(status == 0, "a killed holder of the lock blocks no one", f"{status} {error!r}")


def main():
    if len(sys.argv) != 2 or "WINEPREFIX" not in os.environ:
        sys.stderr.write("usage: WINEPREFIX=... windows_e2e.py BUILD_FOLDER\n")
        return 2
    check = Check()
    with tempfile.TemporaryDirectory(prefix="statekeeper-e2e-") as work:
        session = Session(os.path.abspath(sys.argv[1]), work)
        try:
            run(session, check)
        except (Failed, subprocess.TimeoutExpired) as error:
            check(False, "the check ran to its end", str(error))
        finally:
            session.stop()
    print(f"windows end-to-end: {check.passed} passed, {check.failed} failed")
    return 0 if check.failed == 0 and check.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
