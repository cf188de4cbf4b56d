"""The real desktop program under a virtual X server, as a user meets it:
build/vok started without arguments opens the window, whose recent lists come
from config.ini; F5 converts, the window is moved and resized, Alt+F, X
(File > Exit) closes it, and config.ini then holds the placement, the settings
and the lists. The output is the one the command line writes for the same job.
vok-desktop given a recipe opens the window with the recipe editor on it.

Exits with 77 (skipped) when Xvfb or xdotool is missing."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
VOK = os.path.join(BUILD, "vok")
EXAMPLES = os.path.join(SOURCE, "examples")
CAPTION = "^VOK Wizard - Document To CSV/XLS Conversion$"


def start_xvfb(log):
    """A virtual X server on a display it chooses itself, and that display once
    the server is ready. Choosing a number here could race with another test
    starting a server at the same time. The server does not reset when its
    last client leaves: while it resets it refuses connections, and the
    program, started just after a probe of the display, then found none."""
    ready, ready_w = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(ready_w), "-noreset", "-screen", "0",
                               "1280x1024x24", "-nolisten", "tcp"], pass_fds=(ready_w,),
                              stdout=log, stderr=subprocess.STDOUT)
    os.close(ready_w)
    with os.fdopen(ready) as f:
        number = f.readline().strip()
    if not number:
        server.wait()
        raise RuntimeError("Xvfb did not start")
    return server, ":" + number


def read_ini(path):
    """Sections and keys as the program writes them (CR LF lines)."""
    sections, current = {}, None
    with open(path, newline="") as f:
        for line in f.read().split("\r\n"):
            if line.startswith("["):
                current = sections.setdefault(line.strip("[]"), {})
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key] = value
    return sections


class DesktopUnderXvfb(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vok-xvfb-")
        self.home = os.path.join(self.dir, "home")
        os.mkdir(self.home)
        self.xvfb_log = open(os.path.join(self.dir, "xvfb-output.txt"), "w+")
        self.xvfb, self.display = start_xvfb(self.xvfb_log)
        self.env = dict(os.environ, DISPLAY=self.display, VOK_HOME=self.home)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.program = None

    def tearDown(self):
        if getattr(self, "output", None):
            self.output.close()
        if self.program and self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        self.xvfb.terminate()
        self.xvfb.wait()
        self.xvfb_log.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def xdotool(self, *args, check=True):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                              timeout=30, check=check)

    def wait_for_window(self, caption, seconds=30):
        """The id of the window with that caption once it is there. A search
        fails outright when a window it looks at closes meanwhile (the
        start-up window does), so it is tried again rather than trusted."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            found = self.xdotool("search", "--name", caption, check=False).stdout.split()
            if found:
                return found[0]
            time.sleep(0.1)
        self.output.seek(0)
        self.xvfb_log.seek(0)
        self.fail("no window %s on %s; the program %s and wrote: %s; Xvfb %s and wrote: %s" % (
            caption, self.display, "runs" if self.program.poll() is None else
            "ended with %d" % self.program.returncode, self.output.read()[-2000:],
            "runs" if self.xvfb.poll() is None else "ended", self.xvfb_log.read()[-2000:]))

    def test_f5_converts_and_closing_saves_placement_settings_and_lists(self):
        report = os.path.join(EXAMPLES, "trial-balance.txt")
        recipe = os.path.join(EXAMPLES, "trial-balance.rcp")
        output = os.path.join(self.dir, "desktop.csv")
        with open(os.path.join(self.home, "config.ini"), "w", newline="") as f:
            f.write("\r\n".join([
                "[General]", "UseRecipeFile=YES", "",
                "[frmMainMDI]", "Left=300", "Top=300", "Width=11000", "Height=7000", "",
                "[mruInputFile]", "mruInputFile20=" + report,
                "[mruOutputFile]", "mruOutputFile19=" + os.path.join(self.dir, "older.csv"),
                "mruOutputFile20=" + output,
                "[mruRecipeFile]", "mruRecipeFile20=" + recipe, ""]))

        self.output = open(os.path.join(self.dir, "program-output.txt"), "w+")
        self.program = subprocess.Popen([VOK], env=self.env, stdout=self.output,
                                        stderr=subprocess.STDOUT)
        window = self.wait_for_window(CAPTION)
        time.sleep(0.5)  # the start-up window goes
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--window", window, "F5")
        for _ in range(200):
            if os.path.exists(output):
                break
            time.sleep(0.1)
        self.assertTrue(os.path.exists(output), "F5 wrote no output")
        time.sleep(0.5)  # the job ends: its last status texts and the recent lists

        # Moved and resized by the user, then File > Exit.
        self.xdotool("windowmove", "--sync", window, "100", "120")
        self.xdotool("windowsize", "--sync", window, "800", "500")
        time.sleep(0.3)
        # Alt+F opens the File menu, whose popup takes the key "x" (E&xit).
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--window", window, "alt+f")
        time.sleep(0.5)
        self.xdotool("key", "x")
        self.assertEqual(self.program.wait(timeout=20), 0)

        config = read_ini(os.path.join(self.home, "config.ini"))
        # 15 twips a pixel at 96 dots per inch.
        self.assertEqual(config["frmMainMDI"], {"WindowState": "0", "Left": "1500", "Top": "1800",
                                                "Width": "12000", "Height": "7500"})
        self.assertEqual(config["General"]["UseRecipeFile"], "YES")
        self.assertEqual(config["General"]["lTabSize"], "8")
        self.assertEqual(config["General"]["bShowExcel"], "TRUE")
        self.assertEqual(config["mruInputFile"], {"mruInputFile20": report})
        self.assertEqual(config["mruRecipeFile"], {"mruRecipeFile20": recipe})
        self.assertEqual(config["mruOutputFile"], {
            "mruOutputFile19": os.path.join(self.dir, "older.csv"), "mruOutputFile20": output})

        # The command line writes the same file for the same job.
        cli = os.path.join(self.dir, "cli.csv")
        run = subprocess.run([VOK, "-i", report, "-r", recipe, "-o", cli],
                             env=dict(self.env, DISPLAY=""), capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(output, "rb") as a, open(cli, "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_a_recipe_given_to_vok_desktop_opens_in_the_editor(self):
        # What the menu entry and a file manager run for a recipe.
        recipe = os.path.join(self.dir, "month.rcp")
        shutil.copy(os.path.join(EXAMPLES, "trial-balance.rcp"), recipe)
        self.output = open(os.path.join(self.dir, "program-output.txt"), "w+")
        self.program = subprocess.Popen([os.path.join(BUILD, "vok-desktop"), recipe],
                                        env=self.env, stdout=self.output,
                                        stderr=subprocess.STDOUT)
        self.wait_for_window("^Recipe Editor - Tables = 2$")
        self.wait_for_window(CAPTION)
        self.assertIsNone(self.program.poll())


if __name__ == "__main__":
    if not shutil.which("Xvfb") or not shutil.which("xdotool"):
        print("skipped: Xvfb and xdotool are needed (scripts/setup.sh installs them)")
        sys.exit(77)
    unittest.main()
