"""A small harness for the Linux program's end-to-end tests: an X server of
its own (Xvfb), the demo site (scripts/site.sh), the program, AT-SPI to read
and press what is on the screen, xdotool for real mouse and keys, xclip for
the clipboard and screenshots of every step."""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


class Failure(Exception):
    pass


def wait_for(what, predicate, timeout=20.0, interval=0.2):
    """predicate() until it yields something true; its value, or Failure."""
    end = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = predicate()
        except Exception as e:  # a node that went away while we looked
            last = None
            err = e
        if last:
            return last
        if time.monotonic() > end:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


class Display:
    """Xvfb on a free display number, chosen by the server itself."""

    def __init__(self, width=1280, height=1024):
        self.width, self.height = width, height
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.name = ":" + number
        os.environ["DISPLAY"] = self.name
        os.environ.pop("WAYLAND_DISPLAY", None)
        os.environ["GTK_A11Y"] = "atspi"
        os.environ.pop("NO_AT_BRIDGE", None)

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()


class Site:
    """The demo site under a state folder of the test's own."""

    def __init__(self, source, port, state):
        self.script = os.path.join(source, "scripts", "site.sh")
        self.port, self.state = port, state
        self.args = []

    def start(self, *args):
        self.args = list(args)
        r = subprocess.run(["bash", self.script, "start", "--port", str(self.port), "--state", self.state, *args],
                           capture_output=True, text=True)
        if r.returncode != 0:
            raise Failure(f"the demo site did not start on port {self.port}: {r.stderr.strip()}")

    def stop(self):
        subprocess.run(["bash", self.script, "stop", "--state", self.state], capture_output=True)

    def access_log(self):
        try:
            with open(os.path.join(self.state, "logs", "access.log"), encoding="utf-8", errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []


def x(*args, check=True):
    """Runs xdotool."""
    r = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True)
    if check and r.returncode != 0:
        raise Failure(f"xdotool {' '.join(map(str, args))}: {r.stderr.strip()}")
    return r.stdout.strip()


def window_ids(name):
    out = x("search", "--onlyvisible", "--name", f"^{name}$", check=False)
    return [w for w in out.split() if w]


def geometry(wid):
    """(x, y, width, height) of an X window."""
    out = x("getwindowgeometry", "--shell", wid)
    v = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    return int(v["X"]), int(v["Y"]), int(v["WIDTH"]), int(v["HEIGHT"])


def clipboard():
    r = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=10)
    return r.stdout.decode("utf-8", errors="replace")


# ---- AT-SPI -----------------------------------------------------------------

def application(name, timeout=20):
    def find():
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == name:
                return app
        return None
    return wait_for(f"the application {name} on the accessibility bus", find, timeout)


def showing(node):
    s = node.get_state_set()
    return s.contains(Atspi.StateType.SHOWING) and s.contains(Atspi.StateType.VISIBLE)


def nodes(root, max_depth=40, web=False):
    """Every node under root; the page's content (another process's, which may
    be busy loading) only with `web`."""
    stack = [(root, 0)]
    while stack:
        node, depth = stack.pop()
        if node is None:
            continue
        yield node
        if depth >= max_depth:
            continue
        try:
            role = node.get_role_name()
            if not web and (role in ("scroll pane", "document web", "embedded") or
                            node.get_description() == "Shell.Explorer.2"):
                continue
            n = node.get_child_count()
        except Exception:
            continue
        for i in reversed(range(n)):
            try:
                stack.append((node.get_child_at_index(i), depth + 1))
            except Exception:
                pass


def find(root, role=None, name=None, visible=None, prefix=None):
    root.clear_cache()
    out = []
    for n in nodes(root):
        try:
            if role is not None and n.get_role_name() != role:
                continue
            nm = n.get_name() or ""
            if name is not None and nm != name:
                continue
            if prefix is not None and not nm.startswith(prefix):
                continue
            if visible is not None and showing(n) != visible:
                continue
            out.append(n)
        except Exception:
            continue
    return out


def page_title(root):
    """The title of the page shown, as its document tells it."""
    root.clear_cache()
    for n in nodes(root, web=True):
        if n.get_role_name() == "document web":
            return n.get_name()
    return None


def page_link(root, name):
    """A link of the page shown, by its text."""
    root.clear_cache()
    for n in nodes(root, web=True):
        if n.get_role_name() == "link" and n.get_name() == name:
            return n
    return None


def find_one(root, what, timeout=15, **kw):
    return wait_for(what, lambda: (find(root, **kw) or [None])[0], timeout)


def press(node):
    """The node's first action (click, activate, press)."""
    action = node.get_action_iface()
    if action is None or action.get_n_actions() == 0:
        raise Failure(f"{node.get_role_name()} {node.get_name()!r} has no action")
    action.do_action(0)


def centre(node):
    e = node.get_component_iface().get_extents(Atspi.CoordType.SCREEN)
    return e.x + e.width // 2, e.y + e.height // 2


def text_of(node):
    t = node.get_text_iface()
    return t.get_text(0, t.get_character_count()) if t else node.get_name()


# ---- the program --------------------------------------------------------------

class Program:
    def __init__(self, path, cwd=None, log=None):
        self.path = path
        self.log = open(log, "w") if log else subprocess.DEVNULL
        self.proc = subprocess.Popen([path], cwd=cwd or os.path.dirname(path), stdout=self.log,
                                     stderr=subprocess.STDOUT, start_new_session=True, env=os.environ.copy())
        self.name = os.path.basename(path)

    def alive(self):
        return self.proc.poll() is None

    def wait(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"{self.name} still runs after {timeout} s")

    def kill(self):
        if self.alive():
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()


class Case:
    """One test case: its display, screenshots and clean-up."""

    def __init__(self, name, out):
        self.name = name
        self.out = out
        os.makedirs(out, exist_ok=True)
        for f in os.listdir(out):
            if re.fullmatch(re.escape(name) + r"-\d\d-.*\.png", f):
                os.remove(os.path.join(out, f))
        self.step = 0
        self.cleanups = []
        self.display = Display()
        self.cleanups.append(self.display.close)
        # a cache and data folder of the case's own: no page comes from an earlier run
        self.home = home = tempfile.mkdtemp(prefix=f"vondrel-e2e-{name}-")
        os.environ["XDG_CACHE_HOME"] = os.path.join(home, "cache")
        os.environ["XDG_DATA_HOME"] = os.path.join(home, "data")
        os.environ["XDG_CONFIG_HOME"] = os.path.join(home, "config")
        self.cleanups.insert(0, lambda: shutil.rmtree(home, ignore_errors=True))

    def shot(self, what):
        self.step += 1
        path = os.path.join(self.out, f"{self.name}-{self.step:02d}-{what}.png")
        subprocess.run(["import", "-window", "root", path], capture_output=True, timeout=20)
        print(f"  screenshot {path}")
        return path

    def check(self, condition, message):
        if not condition:
            raise Failure(message)
        print(f"  ok   {message}")

    def close(self):
        for fn in reversed(self.cleanups):
            try:
                fn()
            except Exception as e:
                print(f"  (clean-up: {e})")


def run(cases):
    import argparse
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=sorted(cases))
    p.add_argument("--program", required=True)
    p.add_argument("--batch", required=True)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--source", required=True)
    a = p.parse_args()
    for tool in ("Xvfb", "xdotool", "xclip", "import"):
        if not shutil.which(tool):
            print(f"missing tool: {tool} (make deps)")
            return 1
    case = Case(a.case, a.out)
    print(f"e2e.linux.{a.case} on display {case.display.name}")
    try:
        cases[a.case](case, a)
    except Failure as e:
        print(f"FAIL: {e}")
        case.shot("failed")
        return 1
    finally:
        case.close()
    print("passed")
    return 0
