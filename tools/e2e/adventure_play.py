#!/usr/bin/env python3
"""Plays the adventure in a real window under a private Xvfb: types answers with xdotool,
reads every screen through the screen decoder and records which way the story went.

Subcommands (all exit non-zero on the first failed check):
  explore   plays until every branch of the story has been seen (bounded by a time budget)
  checks    menu answers that show the menu again, the final question and its letter case
  close     closing the window at each kind of prompt and during END
  end       END on a full screen, with an early key, with automatic display off
  figures   start-up time, CPU use while waiting at a prompt, peak memory of a play-through
  opening   saves a screenshot of the opening scene (--out FILE)

Needs BUILD_DIR (or --build-dir) holding adventure, tools/screendecode/screendecode and
tools/xclose/xclose.
"""

import argparse
import atexit
import concurrent.futures
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

ROWS = 25
COLS = 80
COLOURS = {"blue": 1, "green": 2, "light blue": 3, "red": 4}
ITEMS = ["shirt", "pants", "frog", "bananna peel", "pogo stick",
         "chunk of meat", "laundry basket", "puddle", "bag", "spoon"]
MOODS = ["astonished", "pleased", "surprised", "shocked", "scared",
         "terrified", "horrified", "amazed", "relieved", "glad"]
ENDINGS = [
    "Out of the sky UFO's beam down and carry you away,looks like this is the end.",
    "A massive squid fall's from the sky crushing you and you entire house.",
    "a team of cartwheelin acrobats grab you, and juggle you off into the sunset",
    "zombies erupt from the earth dragging you to your doom...",
    "You startle and begin to wake up, this must have been a dream."]
LAUGHS = [
    "you spontaneously combust, and burst into flames.",
    "slip on a pile of laundry, and break your neck",
    "a giant squid crashes through the wall devouring you.",
    "nothing exciting happens, and you wander outside"]
NECK = "You fall down the stairs sadly breaking your neck :("
WELL_DONE = "Well done, what an excellent end to a great adventure!"
END_MESSAGE = "Press any key to continue"
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "runtime error:", "WARNING: ThreadSanitizer",
                   "ERROR: LeakSanitizer", "UndefinedBehaviorSanitizer")


class CheckFailed(Exception):
    pass


# Every X server and program started, so an interrupted run (a test timeout) leaves
# nothing behind.
LIVE_PROCESSES = []


def stop_live_processes():
    for proc in LIVE_PROCESSES:
        if proc.poll() is None:
            proc.kill()


atexit.register(stop_live_processes)


def check(condition, message):
    if not condition:
        raise CheckFailed(message)


def normalise(text):
    return re.sub(r"\s+", " ", text).strip()


# ------------------------------------------------------------------------------------------
# Tools
# ------------------------------------------------------------------------------------------

class Tools:
    def __init__(self, build_dir, exe):
        self.build_dir = os.path.abspath(build_dir)
        self.exe = exe or os.path.join(self.build_dir, "adventure")
        self.decoder = os.path.join(self.build_dir, "tools", "screendecode", "screendecode")
        self.xclose = os.path.join(self.build_dir, "tools", "xclose", "xclose")
        for path in (self.exe, self.decoder, self.xclose):
            if not os.access(path, os.X_OK):
                raise CheckFailed(f"missing executable {path}")
        self.build_type = self.read_build_type()
        self.slow = self.build_type in ("Asan", "Tsan")

    def read_build_type(self):
        try:
            with open(os.path.join(self.build_dir, "CMakeCache.txt")) as cache:
                for line in cache:
                    if line.startswith("CMAKE_BUILD_TYPE:"):
                        return line.strip().split("=", 1)[1]
        except OSError:
            pass
        return ""


class Screen:
    """One decoded screen: 25 rows of text, foreground and background colour digits."""

    def __init__(self, decoded):
        lines = decoded.split("\n")
        check(len(lines) >= 3 * ROWS + 2, "screen decoder printed too few lines")
        self.text = [row.ljust(COLS) for row in lines[0:ROWS]]
        self.fg = lines[ROWS + 1:2 * ROWS + 1]
        self.bg = lines[2 * ROWS + 2:3 * ROWS + 2]

    def lines(self):
        return [row.rstrip() for row in self.text]

    def joined(self):
        return normalise(" ".join(self.lines()))

    def last_line(self):
        rows = [(i, row) for i, row in enumerate(self.lines()) if row]
        return rows[-1] if rows else (-1, "")

    def prompt(self):
        """The kind of wait the screen shows, or None while the story is still printing."""
        if self.lines()[ROWS - 1] == END_MESSAGE:
            return "end"
        _, last = self.last_line()
        if last == "?":
            return "question"
        if last in ("Press Return?", "press return?") or last.endswith(" Press Return?") \
                or last.endswith(" press return?"):
            return "return"
        return None

    def __eq__(self, other):
        # Text only: the blinking cursor changes the colours of its cell between captures.
        return isinstance(other, Screen) and self.text == other.text

    def dump(self):
        return "\n".join("|" + row + "|" for row in self.text)


# ------------------------------------------------------------------------------------------
# One process in one private X server
# ------------------------------------------------------------------------------------------

class Game:
    def __init__(self, tools, workdir, audio=False, exe=None):
        self.tools = tools
        self.workdir = workdir
        self.exe = exe or tools.exe
        self.timeout = 60.0 if tools.slow else 20.0
        self.xvfb = None
        self.proc = None
        self.window = None
        self.audio_path = os.path.join(workdir, "audio.raw") if audio else None
        self.stderr_path = os.path.join(workdir, "stderr.txt")
        self.ppm_path = os.path.join(workdir, "shot.ppm")
        self.exit_status = None
        self.started_at = None
        self.transcript = []
        self.neck_alone_seen = False

    # -- start and stop --
    def start(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        LIVE_PROCESSES.append(self.xvfb)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        check(number.strip(), "Xvfb did not start")
        self.env = dict(os.environ)
        self.env["DISPLAY"] = ":" + number.decode().strip()
        if self.audio_path:
            self.env["SDL_AUDIODRIVER"] = "disk"
            self.env["SDL_DISKAUDIOFILE"] = self.audio_path
        else:
            self.env.setdefault("SDL_AUDIODRIVER", "dummy")
        self.env.pop("SDL_VIDEODRIVER", None)
        # Software rendering, as every real-window test uses: no GL driver threads in
        # the process, and the same picture on every machine.
        self.env.setdefault("SDL_RENDER_DRIVER", "software")
        self.env.setdefault("SDL_FRAMEBUFFER_ACCELERATION", "0")
        self.started_at = time.monotonic()
        with open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen([self.exe], env=self.env, cwd=self.workdir,
                                         stdout=subprocess.DEVNULL, stderr=err)
        LIVE_PROCESSES.append(self.proc)
        self.window = self.find_window()
        return self

    def find_window(self):
        deadline = time.monotonic() + self.timeout
        while time.monotonic() < deadline:
            # The process id as well, so a window of any other program is never taken.
            found = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.proc.pid),
                                    "--name", "^Untitled$"], env=self.env, capture_output=True, text=True)
            ids = found.stdout.split()
            if ids:
                return ids[0]
            check(self.proc.poll() is None, f"adventure exited early with {self.proc.poll()}")
            time.sleep(0.05)
        raise CheckFailed("the window did not appear\n" + self.diagnostics())

    def diagnostics(self):
        """What the X server and the process were doing, for a failure report."""
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=self.env, capture_output=True, text=True)
        with open(self.stderr_path, errors="replace") as err:
            errors = err.read()
        stacks = ""
        if self.proc.poll() is None and shutil.which("gdb"):
            stacks = subprocess.run(["gdb", "-p", str(self.proc.pid), "-batch", "-ex", "thread apply all bt"],
                                    capture_output=True, text=True, timeout=60).stdout
        return (f"X server {'running' if self.xvfb.poll() is None else 'gone'} on {self.env['DISPLAY']}; "
                f"windows:\n{tree.stdout}\nstandard error:\n{errors}\nthreads:\n{stacks}")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()

    def __enter__(self):
        try:
            return self.start()
        except BaseException:
            # __exit__ does not run when __enter__ fails: stop what was started here.
            self.stop()
            raise

    def __exit__(self, *exc):
        self.stop()

    def wait_exit(self, timeout=None):
        try:
            self.exit_status = self.proc.wait(timeout or self.timeout)
        except subprocess.TimeoutExpired:
            raise CheckFailed("the process did not end")
        return self.exit_status

    def sanitizer_report(self):
        try:
            with open(self.stderr_path, errors="replace") as err:
                text = err.read()
        except OSError:
            return ""
        return text if any(mark in text for mark in SANITIZER_MARKS) else ""

    # -- screen --
    def screenshot_png(self, out_path):
        xwd = subprocess.run(["xwd", "-silent", "-id", self.window], env=self.env, capture_output=True)
        check(xwd.returncode == 0, "xwd failed")
        subprocess.run(["convert", "xwd:-", out_path], input=xwd.stdout, check=True)

    def screen(self):
        xwd = subprocess.run(["xwd", "-silent", "-id", self.window], env=self.env, capture_output=True)
        check(xwd.returncode == 0, "xwd failed (window gone?)")
        subprocess.run(["convert", "xwd:-", "ppm:" + self.ppm_path], input=xwd.stdout, check=True)
        decoded = subprocess.run([self.tools.decoder, self.ppm_path], capture_output=True, text=True)
        check(decoded.returncode == 0, "screen decoder failed: " + decoded.stderr)
        return Screen(decoded.stdout)

    def wait_screen(self, accept, what, timeout=None):
        """Polls until accept(screen) holds on two captures in a row that are the same."""
        deadline = time.monotonic() + (timeout or self.timeout)
        previous = None
        while time.monotonic() < deadline:
            check(self.proc.poll() is None, f"adventure exited ({self.proc.poll()}) waiting for {what}")
            current = self.screen()
            text = current.joined()
            if NECK in text and WELL_DONE not in text:
                # The story is waiting for the tune before it goes on.
                self.neck_alone_seen = True
            if accept(current) and current == previous:
                return current
            previous = current
            time.sleep(0.08)
        last = previous.dump() if previous else "(none)"
        raise CheckFailed(f"timed out waiting for {what}; last screen:\n{last}\n" + self.diagnostics())

    def wait_prompt(self, unlike=None, what="a prompt"):
        def ready(s):
            return s.prompt() is not None and (unlike is None or s != unlike)
        screen = self.wait_screen(ready, what)
        if self.transcript:
            # Only the colour word and item of the opening scene are in another colour.
            check_all_colour_7(screen, what)
        self.transcript.append(screen.joined())
        return screen

    # -- keys --
    def type_text(self, text):
        if text:
            # Through standard input, so text starting with "-" is not read as an option.
            subprocess.run(["xdotool", "type", "--window", self.window, "--delay", "40", "--file", "-"],
                           input=text.encode(), env=self.env, check=True)

    def key(self, name):
        subprocess.run(["xdotool", "key", "--window", self.window, name], env=self.env, check=True)

    def answer(self, text, shown=None):
        """Types an answer, waits until the prompt row shows it (typed or as the editor
        kept it), then presses Return."""
        before = self.screen()
        row, _ = before.last_line()
        self.type_text(text)
        if text:
            time.sleep(0.15)  # lets the editor take or refuse every key before the check
        expect = ("? " + (shown if shown is not None else text)).rstrip()
        self.wait_screen(lambda s: s.lines()[row].endswith(expect), f"the echo {expect!r}")
        self.key("Return")
        return before

    def close_window(self):
        subprocess.run([self.tools.xclose, self.window], env=self.env, check=True)

    # -- process figures --
    def cpu_seconds(self):
        with open(f"/proc/{self.proc.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        ticks = os.sysconf("SC_CLK_TCK")
        return (int(fields[11]) + int(fields[12])) / ticks

    def peak_rss_kb(self):
        with open(f"/proc/{self.proc.pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
        return 0


# ------------------------------------------------------------------------------------------
# Reading the story's screens
# ------------------------------------------------------------------------------------------

def read_opening(screen):
    """The colour word and item of the opening scene, checked for their colours."""
    lines = screen.lines()
    check(lines[0] == "As the Light in your bedroom begins to grow, your eyes open and you",
          "opening line 1: " + lines[0])
    check(lines[1] == " start to awake. There seems to be a", "opening line 2: " + lines[1])
    check(lines[3] == "lying on the floor.", "opening line 4: " + lines[3])
    check(lines[4] == "Press Return?", "opening prompt: " + lines[4])
    third = lines[2]
    colour = next((c for c in sorted(COLOURS, key=len, reverse=True) if third.startswith(c + " ")), None)
    check(colour is not None, "opening colour word: " + third)
    item = third[len(colour) + 1:]
    check(item in ITEMS, "opening item: " + item)
    digit = "%x" % COLOURS[colour]
    for row in range(ROWS):
        for col in range(COLS):
            if screen.text[row][col] == " ":
                continue
            want = digit if row == 2 else "7"
            check(screen.fg[row][col] == want,
                  f"colour of {screen.text[row][col]!r} at row {row + 1} column {col + 1}: "
                  f"{screen.fg[row][col]} instead of {want}")
            check(screen.bg[row][col] == "0", f"background at row {row + 1} column {col + 1}")
    return colour, item


def check_all_colour_7(screen, where):
    for row in range(ROWS):
        for col in range(COLS):
            if screen.text[row][col] != " ":
                check(screen.fg[row][col] == "7", f"{where}: colour {screen.fg[row][col]} at "
                      f"row {row + 1} column {col + 1}")


MENU1 = ["", "", "You Decide to:", "1:Throw the {0} away.", "2:Take the {0} Outside.",
         "3:Ignore the {0} and go back to sleep", "?"]
MENU2 = ["", "", "right now you think it would be best if you:", "1.Ran outside screaming.",
         "2.Got something to eat.", "3.Laugh hysterically.", "?"]


def check_menu(screen, lines, item=""):
    got = screen.lines()
    want = [line.format(item) for line in lines]
    check(got[:len(want)] == want and not any(got[len(want):]),
          "menu screen:\n" + screen.dump())


def check_end_screen(screen, above):
    """Row 25 holds the END message from column 1; the rows above are as they were."""
    lines = screen.lines()
    check(screen.text[ROWS - 1].startswith(END_MESSAGE), "END message row: " + screen.text[ROWS - 1])
    check(lines[:ROWS - 1] == above[:ROWS - 1], "END changed the screen:\n" + screen.dump())
    check_all_colour_7(screen, "END screen")


def audio_notes(path):
    """The sounding stretches of a 16-bit stereo recording as (frames, cycles) pairs."""
    if not path or not os.path.exists(path):
        return []
    with open(path, "rb") as raw:
        data = raw.read()
    count = len(data) // 4
    left = struct.unpack("<%dh" % (count * 2), data[:count * 4])[0::2]
    stretches = []
    start = None
    silent_run = 0
    for i, value in enumerate(left):
        if value != 0:
            if start is None:
                start = i
            silent_run = 0
            continue
        if start is not None:
            silent_run += 1
            if silent_run > 400:  # a gap of at least 9 ms ends a note
                stretches.append((start, i - silent_run))
                start = None
                silent_run = 0
    if start is not None:
        stretches.append((start, count - 1))
    notes = []
    for begin, end in stretches:
        if end - begin < 1000:  # a click, not a note
            continue
        segment = left[begin:end]
        crossings = sum(1 for a, b in zip(segment, segment[1:]) if (a < 0) != (b < 0))
        notes.append((end - begin, crossings / 2))
    return notes


TUNE_HZ = [440 * 2 ** (index / 12) for index in (22, 20, 19, 17, 15)]  # G F E D C of octave 4
NOTE_SECONDS = 0.5 * 7 / 8  # a quarter note at tempo 120 less the normal articulation gap


def check_tune(notes):
    """Five notes of the right pitch and length. The recording's own rate is not known
    (the audio layer may resample the opened 22050 Hz to the device's rate), so it is
    taken from the note lengths: the one that makes them last NOTE_SECONDS."""
    check(len(notes) == 5, f"expected the five notes of gfedc, heard {notes}")
    rate = next((r for r in (22050, 44100, 48000)
                 if all(abs(frames / r - NOTE_SECONDS) < 0.05 for frames, _ in notes)), None)
    check(rate is not None, f"note lengths fit no sample rate: {notes}")
    for (frames, cycles), want in zip(notes, TUNE_HZ):
        heard = cycles / (frames / rate)
        check(abs(heard - want) / want < 0.03, f"note at {heard:.1f} Hz, expected {want:.1f} Hz ({notes})")


# ------------------------------------------------------------------------------------------
# A whole play-through
# ------------------------------------------------------------------------------------------

class Plan:
    def __init__(self, first=1, second=1, answer="right", close_at=None, junk_menus=False):
        self.first = first            # 1 throw, 2 outside, 3 sleep
        self.second = second          # 1 run, 2 eat, 3 laugh
        self.answer = answer          # right, case, later_item, other
        self.close_at = close_at      # opening, menu1, menu2, return, final, end
        self.junk_menus = junk_menus  # try 0, 4, letters and long numbers at both menus


def try_junk(game, screen, lines, item):
    """Answers that are not 1, 2 or 3 show the same menu again."""
    for typed, shown in (("4", "4"), ("0", "0"), ("abc", ""), ("x9y", "9"), ("123456", "12345"),
                         ("99999", "9999"), ("-7", "-7")):
        game.answer(typed, shown)
        again = game.wait_prompt(what=f"the menu after {typed!r}")
        check_menu(again, lines, item)
        check(again == screen, f"menu after {typed!r} differs:\n{again.dump()}")


def play(game, plan, record):
    """Plays one game to its end (or to the window close of the plan)."""
    screen = game.wait_prompt(what="the opening")
    colour, item = read_opening(screen)
    record["colour"] = colour
    record["first_item"] = item
    if plan.close_at == "opening":
        return close_and_expect_zero(game, record)
    game.answer("")

    screen = game.wait_prompt(unlike=screen, what="the first menu")
    check_menu(screen, MENU1, item)
    if plan.junk_menus:
        try_junk(game, screen, MENU1, item)
    if plan.close_at == "menu1":
        return close_and_expect_zero(game, record)
    game.answer(str(plan.first))
    record["first"] = plan.first

    if plan.first == 3:
        screen = game.wait_prompt(unlike=screen, what="the sleep ending")
        record["ending"] = "sleep"
        return finish_end(game, screen, ["ya roll back over and fall asleep...", "ya lazybones you."], record)

    # Scenes up to the living room: one or two "return" prompts.
    living = None
    later_items = []
    while living is None:
        screen = game.wait_prompt(unlike=screen, what="the next scene")
        text = screen.joined()
        if plan.first == 1:
            m = re.search(r"deciding to throw the (.+?) away, you are (\w+) when you see a a (.+?) crash "
                          r"through the wall leaving you feeling (\w+)\. You decide to ignore the chaos "
                          r"and go downstairs\. Press Return\?", text)
            if m:
                check(text.startswith(normalise(" ".join(MENU1).format(item)) + " 1 deciding"),
                      "throw scene: " + text)
                check(m.group(1) == item, "throw scene names " + m.group(1))
                check(m.group(2) in MOODS and m.group(4) in MOODS, "moods: " + text)
                record["throw"] = True
        if plan.first == 2 and "to leave it outside," in text:
            # No CLS after the first menu: the menu and the answer stay above this scene.
            m = re.search(r"\? 2 (\w+), from the sight of that (.+?) you decide it might be better to leave it "
                         r"outside, (.*)$", text)
            check(m and m.group(1) in MOODS and m.group(2) == item, "outside scene: " + text)
            rest = m.group(3)
            trip = re.match(r"on your way out the door you trip over a (.+?)\. (.*)$", rest)
            if trip:
                record["coin"] = 0
                later_items.append(trip.group(1))
                rest = trip.group(2)
                if rest.startswith(NECK):
                    record["fall"] = 1
                    check(game.neck_alone_seen, "the story went on without waiting for the tune")
                    check(rest == NECK + " " + WELL_DONE + " but we are only halfway done! "
                          "I think it is now time to Look Back... press return?", "neck scene: " + rest)
                    break
                record["fall"] = 0
                safe = "You stumble over the " + trip.group(1) + " safely though, and "
                check(rest.startswith(normalise(safe)), "stumble scene: " + rest)
                rest = rest[len(normalise(safe)) + 1:]
            else:
                record["coin"] = 1
            m2 = re.match(r"You walk down the stairs feeling absolutely (\w+)\. press return\?$", rest)
            check(m2 and m2.group(1) in MOODS, "stairs scene: " + rest)
        m = re.search(r"As you arrive in the living room downstairs, you are (\w+) to find a (.+?) "
                      r"hanging from the ceiling fan\. press return\?$", text)
        if m:
            check(m.group(1) in MOODS and m.group(2) in ITEMS, "living room: " + text)
            living = m.group(2)
            later_items.append(living)
            if plan.close_at == "return":
                return close_and_expect_zero(game, record)
        if screen.prompt() == "return":
            game.answer("")
        else:
            raise CheckFailed("unexpected screen:\n" + screen.dump())
    record["later_items"] = later_items

    if record.get("fall") != 1:
        screen = game.wait_prompt(unlike=screen, what="the second menu")
        check_menu(screen, MENU2)
        if plan.junk_menus:
            try_junk(game, screen, MENU2, "")
        if plan.close_at == "menu2":
            return close_and_expect_zero(game, record)
        game.answer(str(plan.second))
        record["second"] = plan.second
        screen = game.wait_prompt(unlike=screen, what="the outcome of the second menu")
        text = screen.joined()
        ending_draw = True
        if plan.second == 1:
            if text.startswith("you walk outside, with no problems at all"):
                record["outside"] = 0
                text = text[len("you walk outside, with no problems at all") + 1:]
            else:
                m = re.match(r"you trip over a (.+?) ?on your way out, but you feel fine, (.*)$", text)
                check(m and m.group(1) in ITEMS, "outside trip: " + text)
                later_items.append(m.group(1))
                record["outside"] = 1
                text = m.group(2)
        elif plan.second == 2:
            m = re.match(r"You wander into the kitchen hopin to grab somethin to eat, but theres only (.+?)\. "
                         r"\.\.\. \.\.\. you decide to eat the (.+?) and you find it absolutely (\w+) after "
                         r"your snack, you head outside\. press return\?$", text)
            check(m and m.group(1) == m.group(2) and m.group(3) in
                  ("delicious", "disgusting", "awful", "appetizing"), "kitchen: " + text)
            record["food"] = m.group(1)
            game.answer("")
            screen = game.wait_prompt(unlike=screen, what="the ending after the snack")
            text = screen.joined()
        else:
            head = "you laugh hysterically to yourself, and suddenly, "
            check(text.startswith(head), "laugh scene: " + text)
            text = text[len(head):]
            laugh = next((i for i, line in enumerate(LAUGHS) if text.startswith(line)), None)
            check(laugh is not None, "laugh outcome: " + text)
            record["laugh"] = laugh
            text = text[len(LAUGHS[laugh]) + 1:]
            ending_draw = laugh == 3
        if ending_draw:
            if text.startswith(WELL_DONE):
                record["ending"] = 0
            else:
                m = re.match(r"You stumble out side, and (.*) press return\?$", text)
                check(m and m.group(1) in ENDINGS[1:], "ending: " + text)
                record["ending"] = ENDINGS.index(m.group(1))
                game.answer("")
                screen = game.wait_prompt(unlike=screen, what="the look-back screen")
                text = screen.joined()
        else:
            record["ending"] = "laugh%d" % record["laugh"]
        check(text == WELL_DONE + " but we are only halfway done! I think it is now time to Look Back... "
              "press return?", "look-back screen: " + text)
    else:
        record["ending"] = "neck"
    record["later_items"] = later_items

    game.answer("")
    screen = game.wait_prompt(unlike=screen, what="the final question")
    check(screen.lines()[:3] == ["Now if we Look Back to the beginning,",
                                 "What was the name of the item on the floor when you woke up?", "?"],
          "final question:\n" + screen.dump())
    if plan.close_at == "final":
        return close_and_expect_zero(game, record)
    typed = item
    if plan.answer == "case":
        typed = item.swapcase() if item != item.swapcase() else item + "x"
    elif plan.answer == "later_item":
        typed = next((i for i in later_items if i != item), item[:-1])
    elif plan.answer == "other":
        typed = "nothing"
    record["typed"] = typed
    game.answer(typed)
    screen = game.wait_prompt(unlike=screen, what="the verdict")
    verdict = screen.lines()[3]
    check(screen.lines()[2] == "? " + typed, "answer line: " + screen.lines()[2])
    want = "You Win!" if typed == item else "nope wrooong"
    check(verdict == want, f"verdict {verdict!r} for {typed!r} (opening item {item!r})")
    check(screen.lines()[4] == "press return?", "last prompt: " + screen.lines()[4])
    record["result"] = "win" if verdict == "You Win!" else "lose"
    game.answer("")
    return finish_end(game, screen, [], record)


def finish_end(game, previous, lines_above, record):
    screen = game.wait_screen(lambda s: s.prompt() == "end", "the END message")
    above = lines_above + [""] * (ROWS - 1 - len(lines_above))
    check_end_screen(screen, above)
    record["end_screen"] = True
    if record.get("close_at_end"):
        return close_and_expect_zero(game, record)
    time.sleep(0.3)
    check(game.proc.poll() is None, "the program ended before a key was pressed")
    game.key("space")
    status = game.wait_exit()
    check(status == 0, f"exit status {status} after END")
    record["status"] = status
    return record


def close_and_expect_zero(game, record):
    game.close_window()
    status = game.wait_exit()
    check(status == 0, f"exit status {status} after closing the window")
    record["status"] = status
    record["closed"] = True
    return record


def run_game(tools, plan, audio=True, close_at_end=False):
    """One play-through in its own X server; returns the record of what happened."""
    workdir = tempfile.mkdtemp(prefix="adventure.")
    record = {"plan": (plan.first, plan.second, plan.answer, plan.close_at)}
    if close_at_end:
        record["close_at_end"] = True
    try:
        with Game(tools, workdir, audio=audio) as game:
            try:
                play(game, plan, record)
            except CheckFailed as failure:
                report = game.sanitizer_report()
                raise CheckFailed(f"{failure}\nplan {record['plan']}, seen {record}" +
                                  (f"\n{report}" if report else ""))
            report = game.sanitizer_report()
            check(not report, "sanitizer report:\n" + report)
            notes = audio_notes(game.audio_path)
            record["notes"] = notes
            if record.get("fall") == 1 and not record.get("closed"):
                check_tune(notes)
            else:
                check(not notes, f"sound on a path without the tune: {notes} ({record})")
            return record
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


# ------------------------------------------------------------------------------------------
# Subcommands
# ------------------------------------------------------------------------------------------

BRANCHES = (["sleep", "throw", "coin0", "coin1", "fall0", "fall1", "outside0", "outside1", "eat"]
            + ["laugh%d" % i for i in range(4)] + ["ending%d" % i for i in range(5)]
            + ["win", "lose"])


def branches_of(record):
    seen = set()
    if record.get("ending") == "sleep":
        seen.add("sleep")
    if record.get("throw"):
        seen.add("throw")
    for key in ("coin", "fall", "outside", "laugh"):
        if key in record:
            seen.add("%s%d" % (key, record[key]))
    if record.get("second") == 2:
        seen.add("eat")
    if isinstance(record.get("ending"), int):
        seen.add("ending%d" % record["ending"])
    if "result" in record:
        seen.add(record["result"])
    return seen


def choose_plan(seen, rng):
    missing = [b for b in BRANCHES if b not in seen]
    if "sleep" in missing:
        first = 3
    elif any(b in missing for b in ("coin0", "coin1", "fall0", "fall1")):
        first = 2
    elif "throw" in missing:
        first = 1
    else:
        first = rng.choice((1, 2))
    if any(b in missing for b in ("laugh0", "laugh1", "laugh2", "laugh3")) and rng.random() < 0.6:
        second = 3
    elif any(b in missing for b in ("outside0", "outside1")):
        second = 1
    elif "eat" in missing:
        second = 2
    elif any(b.startswith("ending") for b in missing):
        second = rng.choice((1, 2))  # both always reach the ending draw
    else:
        second = rng.choice((1, 2, 3))
    answer = "right" if "win" in missing or rng.random() < 0.5 else rng.choice(("case", "later_item", "other"))
    if "lose" in missing and "win" in seen:
        answer = "later_item"
    return Plan(first, second, answer)


def sanitized_plays(tools, workers):
    """Under the sanitizers a few whole play-throughs over different scenes stand in for
    the full exploration, which would take too long there."""
    plans = [Plan(3), Plan(2, 2, "right"), Plan(1, 3, "other")]
    seen = set()
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        for record in pool.map(lambda plan: run_game(tools, plan), plans):
            seen |= branches_of(record)
            print(f"plan {record['plan']} -> {sorted(branches_of(record))}", flush=True)
        # The tune path (a quarter of the trips outside) gets a few more tries, so sound
        # usually runs under the sanitizers too.
        for _ in range(4):
            if "fall1" in seen:
                break
            for record in pool.map(lambda plan: run_game(tools, plan), [Plan(2, 1), Plan(2, 3)]):
                seen |= branches_of(record)
                print(f"plan {record['plan']} -> {sorted(branches_of(record))}", flush=True)
    print("the tune path was " + ("" if "fall1" in seen else "not ") + "reached")


def explore(tools, budget_s, workers, seed):
    if tools.slow:
        return sanitized_plays(tools, workers)
    rng = random.Random(seed)
    seen = set()
    scheduled = set()
    games = 0
    started = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        running = set()
        while True:
            out_of_time = time.monotonic() - started > budget_s
            done = all(b in seen for b in BRANCHES)
            while not done and not out_of_time and len(running) < workers:
                plan = choose_plan(seen | scheduled, rng)
                # Branches a running game is certain to reach are not asked for twice.
                scheduled |= {3: {"sleep"}, 1: {"throw"}, 2: set()}[plan.first]
                running.add(pool.submit(run_game, tools, plan))
            if not running:
                break
            finished, running = concurrent.futures.wait(running, return_when=concurrent.futures.FIRST_COMPLETED)
            for future in finished:
                record = future.result()
                games += 1
                new = branches_of(record) - seen
                seen |= branches_of(record)
                print(f"game {games}: plan {record['plan']} -> {sorted(branches_of(record))}"
                      + (f" new {sorted(new)}" if new else ""), flush=True)
    missing = [b for b in BRANCHES if b not in seen]
    print(f"{games} games in {time.monotonic() - started:.0f} s; branches seen {len(seen)}/{len(BRANCHES)}")
    check(not missing, f"branches never seen: {missing}")


def checks(tools):
    # Wrong answers at both menus, and the opening item with its letter case changed.
    record = run_game(tools, Plan(first=1, second=2, answer="case", junk_menus=True))
    print("junk answers at both menus, case-changed answer:", record["result"], record["typed"])
    # The opening item is the answer even though later scenes drew other items.
    for _ in range(4):
        record = run_game(tools, Plan(first=1, second=1, answer="right"))
        check(record["result"] == "win", "the opening item did not win")
        print("opening item", record["first_item"], "wins; later items were", record.get("later_items"))
        if any(item != record["first_item"] for item in record.get("later_items", [])):
            break
    record = run_game(tools, Plan(first=2, second=2, answer="later_item"))
    print("a later item:", record["typed"], "->", record["result"])
    print("checks passed")


def close_checks(tools):
    """Closing the window at each kind of wait ends the process with status 0."""
    for close_at in ("opening", "menu1", "return", "menu2", "final"):
        record = run_game(tools, Plan(first=1, second=2, close_at=close_at), audio=False)
        check(record.get("closed"), f"did not reach the {close_at} prompt")
        print(f"closed at {close_at}: status {record['status']}")
    record = run_game(tools, Plan(first=3), audio=False, close_at_end=True)
    check(record.get("closed"), "did not reach END")
    print(f"closed during END: status {record['status']}")


def figures(tools):
    workdir = tempfile.mkdtemp(prefix="adventure.")
    try:
        with Game(tools, workdir) as game:
            window_s = time.monotonic() - game.started_at
            screen = game.wait_screen(lambda s: s.prompt() == "return", "the opening", timeout=game.timeout)
            first_frame_s = time.monotonic() - game.started_at
            print(f"window mapped after {window_s * 1000:.0f} ms; opening scene presented after "
                  f"{first_frame_s * 1000:.0f} ms (upper bound: includes one screenshot round)")
            before = game.cpu_seconds()
            time.sleep(5)
            used = game.cpu_seconds() - before
            print(f"CPU while waiting at the prompt for 5 s: {used:.2f} s ({used / 5 * 100:.1f} % of one core)")
            record = {}
            plan = Plan(first=1, second=2, answer="right")
            # Play on to END, then read the peak before the closing key.
            game.transcript.clear()
            play_until_end_for_figures(game, plan, record, screen)
            print(f"peak memory (VmHWM) of a full play-through: {game.peak_rss_kb()} kB")
            game.key("space")
            check(game.wait_exit() == 0, "exit status after END")
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def play_until_end_for_figures(game, plan, record, opening):
    """Answers every prompt (menus 1 and 2 with the plan's choices) until END shows."""
    screen = opening
    while True:
        kind = screen.prompt()
        if kind == "end":
            return
        text = screen.joined()
        if "You Decide to:" in text:
            game.answer(str(plan.first))
        elif "right now you think" in text:
            game.answer(str(plan.second))
        elif "What was the name" in text and screen.lines()[2] == "?":
            game.answer("spoon")
        else:
            game.answer("")
        screen = game.wait_screen(lambda s: s.prompt() is not None and s != screen, "the next prompt")


def end_checks(tools):
    """END on a full screen, with a key typed before it, and with automatic display off."""
    programs = os.path.join(tools.build_dir, "tests")
    workdir = tempfile.mkdtemp(prefix="adventure.")
    try:
        with Game(tools, workdir, exe=os.path.join(programs, "program_end_bottom_row")) as game:
            game.wait_screen(lambda s: s.text[0][39:44] == "ready", "the test program's ready mark")
            game.key("x")
            screen = game.wait_screen(lambda s: s.prompt() == "end", "the END message")
            lines = screen.lines()
            for row in range(24):
                want = "row %02d stays where it is" % (row + 1)
                if row == 0:
                    want = want.ljust(39) + "ended"
                check(lines[row] == want, f"row {row + 1} changed: {lines[row]!r}")
            check(lines[24] == END_MESSAGE, "bottom row: " + lines[24])
            time.sleep(0.5)
            check(game.proc.poll() is None, "a key typed before END ended the program")
            game.key("Return")
            check(game.wait_exit() == 0, f"exit status {game.exit_status}")
            check(not game.sanitizer_report(), game.sanitizer_report())
        print("END keeps rows 1-24, replaces row 25, ignores the early key, exits 0 on the next key")
        with Game(tools, workdir, exe=os.path.join(programs, "program_end_manual_display")) as game:
            screen = game.wait_screen(lambda s: s.prompt() == "end", "the END message with display off")
            check(screen.lines()[0] == "printed while automatic display is off", "row 1: " + screen.lines()[0])
            game.key("a")
            check(game.wait_exit() == 0, f"exit status {game.exit_status}")
            check(not game.sanitizer_report(), game.sanitizer_report())
        print("END shows its message with automatic display off")
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def opening_shot(tools, out):
    workdir = tempfile.mkdtemp(prefix="adventure.")
    try:
        with Game(tools, workdir) as game:
            screen = game.wait_prompt(what="the opening")
            read_opening(screen)
            game.screenshot_png(out)
            print("saved", out, "-", screen.lines()[2])
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("command", choices=("explore", "checks", "close", "end", "figures", "opening"))
    parser.add_argument("--build-dir", default=os.environ.get("BUILD_DIR", ""))
    parser.add_argument("--exe", default=None)
    parser.add_argument("--budget-s", type=float, default=240)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--out", default="opening.png")
    args = parser.parse_args()
    if not args.build_dir:
        parser.error("BUILD_DIR or --build-dir is required")
    def on_terminate(*_):
        stop_live_processes()
        os._exit(1)
    signal.signal(signal.SIGTERM, on_terminate)
    signal.signal(signal.SIGINT, on_terminate)
    try:
        tools = Tools(args.build_dir, args.exe)
        if args.command == "explore":
            explore(tools, args.budget_s, args.workers, args.seed)
        elif args.command == "checks":
            checks(tools)
        elif args.command == "close":
            close_checks(tools)
        elif args.command == "end":
            end_checks(tools)
        elif args.command == "figures":
            figures(tools)
        else:
            opening_shot(tools, args.out)
    except CheckFailed as failure:
        print("FAIL:", failure, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
