#!/usr/bin/python3
"""The update's fault matrix, end to end on the Linux program.

Each case copies the program into a fresh folder, serves version 2.2 and a
package from the demo site (scripts/site.sh, nginx on 127.0.0.1), lets the
program find the update, accepts it, breaks one thing, and records the
messages the user saw and the files left in the folder. Then the folder's
program is started once more to see that it still starts.

Every case must end with: a message box (no hang), the program in the folder
either the old build unchanged or the complete new one, nothing partial
taken for a package, and a program that starts again.

usage: run.py [--program build/linux/vondrel] [--out build/faults] [--case NAME ...]
Writes OUT/report.md and OUT/report.json, screenshots and logs per case;
exits 1 when a case breaks a rule.
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SITE = os.path.join(ROOT, "scripts", "site.sh")

OFFER_CAPTION = "软件更新"
NOTICE_CAPTION = "软件更新提示"
PROGRESS_CAPTION = "程序更新进度"
MAIN_CAPTION_PREFIX = "Vondrel"
PACKAGE_NAME = "ZADADA5.exe.tmp"
SCRIPT_NAME = "5update.bat"


def log(*parts):
    print("[faults]", *parts, flush=True)


def sha(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()[:12]


def site_host(program):
    """host:port the program was built for, from its build folder's cache."""
    cache = os.path.join(os.path.dirname(os.path.abspath(program)), "CMakeCache.txt")
    try:
        with open(cache, encoding="utf-8") as f:
            for line in f:
                if line.startswith("VONDREL_SITE_HOST:"):
                    return line.split("=", 1)[1].strip()
    except OSError:
        pass
    return "127.0.0.1:8936"


# ---- display, session bus and the accessibility tree -----------------------

class Desktop:
    """Xvfb with a session bus; windows are read through AT-SPI."""

    def __init__(self, out):
        self.out = out
        self.procs = []
        self.display = self._free_display()
        self.xvfb = subprocess.Popen(
            ["Xvfb", self.display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-ac"],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(out, "xvfb.log"), "w"))
        socket_path = "/tmp/.X11-unix/X" + self.display[1:]
        for _ in range(100):
            if os.path.exists(socket_path):
                break
            time.sleep(0.1)
        else:
            raise RuntimeError("Xvfb did not start")
        os.environ["DISPLAY"] = self.display
        bus = subprocess.run(["dbus-launch", "--sh-syntax"], capture_output=True, text=True, check=True).stdout
        for name in ("DBUS_SESSION_BUS_ADDRESS", "DBUS_SESSION_BUS_PID"):
            m = re.search(name + r"='([^']*)'", bus)
            if m:
                os.environ[name] = m.group(1)
        self.bus_pid = int(os.environ.get("DBUS_SESSION_BUS_PID", "0") or 0)
        os.environ["NO_AT_BRIDGE"] = "0"
        os.environ["GTK_A11Y"] = "atspi"
        import gi  # after the bus is set: libatspi connects to it on first use
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        self.atspi = Atspi
        Atspi.set_timeout(2000, 15000)

    @staticmethod
    def _free_display():
        for n in range(90, 140):
            if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
                return ":%d" % n
        raise RuntimeError("no free X display")

    def close(self):
        for p in (self.xvfb,):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        if self.bus_pid:
            try:
                os.kill(self.bus_pid, signal.SIGTERM)
            except OSError:
                pass

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=20)

    # Top-level windows of the given processes: caption, texts, buttons.
    def windows(self, pids):
        Atspi = self.atspi
        found = []
        try:
            desktop = Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                app = desktop.get_child_at_index(i)
                if app is None:
                    continue
                try:
                    if app.get_process_id() not in pids:
                        continue
                except Exception:
                    continue
                for j in range(app.get_child_count()):
                    win = app.get_child_at_index(j)
                    if win is None:
                        continue
                    states = win.get_state_set()
                    if not states.contains(Atspi.StateType.SHOWING):
                        continue
                    texts, buttons = [], {}
                    self._walk(win, texts, buttons, 0)
                    found.append({"caption": win.get_name() or "", "role": win.get_role_name(),
                                  "texts": texts, "buttons": buttons, "pid": app.get_process_id()})
        except Exception as e:  # a window going away under our feet
            log("accessibility read failed:", e)
        return found

    def _walk(self, node, texts, buttons, depth):
        if depth > 12:
            return
        Atspi = self.atspi
        for k in range(node.get_child_count()):
            child = node.get_child_at_index(k)
            if child is None:
                continue
            role = child.get_role()
            name = child.get_name() or ""
            if role == Atspi.Role.PUSH_BUTTON:
                buttons[name] = child
            elif role == Atspi.Role.LABEL and name:
                texts.append(name)
            self._walk(child, texts, buttons, depth + 1)

    def press(self, window, button):
        node = window["buttons"].get(button)
        if node is None:
            raise RuntimeError("no button %r in %r" % (button, window["caption"]))
        node.do_action(0)


# ---- the demo site ----------------------------------------------------------

class Site:
    def __init__(self, state, port):
        self.state, self.port = state, port

    def start(self, version, package=None, rate=None):
        args = ["bash", SITE, "start", "--port", str(self.port), "--state", self.state, "--version", version]
        if package:
            args += ["--package", package]
        if rate:
            args += ["--rate-limited-location", "--rate", rate]
        deadline = time.time() + 120
        while True:
            r = subprocess.run(args, capture_output=True, text=True)
            if r.returncode == 0:
                return
            # another test may hold the port for a while: wait for it
            if "in use" in r.stderr and time.time() < deadline:
                time.sleep(2)
                continue
            raise RuntimeError("site.sh start failed: " + r.stderr.strip())

    def stop(self):
        subprocess.run(["bash", SITE, "stop", "--state", self.state], capture_output=True)

    def access_log(self):
        try:
            with open(os.path.join(self.state, "logs", "access.log"), encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""


# ---- one case ---------------------------------------------------------------

def program_pids(folder):
    """Processes whose executable lies in folder (the program and its restarts)."""
    pids = set()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            exe = os.readlink("/proc/%s/exe" % entry)
        except OSError:
            continue
        exe = exe.replace(" (deleted)", "")
        if os.path.dirname(exe) == folder:
            pids.add(int(entry))
    return pids


def kill_all(folder):
    for _ in range(20):
        pids = program_pids(folder)
        if not pids:
            return
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        time.sleep(0.2)


def listing(folder):
    out = []
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            out.append({"name": name, "size": os.path.getsize(path), "sha": sha(path)})
    return out


class Case:
    name = ""
    title = ""
    exe_name = "vondrel"
    expect_update = False  # the complete new build should replace the old one
    rate = None

    def __init__(self, runner):
        self.r = runner
        self.dir = os.path.join(runner.tmp, self.name)
        self.app = os.path.join(self.dir, "app")
        self.seen = []      # what the user saw, in order
        self.notes = []
        self.problems = []
        self.mounted = []

    # hooks
    def prepare(self):
        pass

    def package(self):
        return self.r.new_build

    def during_download(self, desktop, pids):
        pass

    def cleanup(self):
        for m in reversed(self.mounted):
            subprocess.run(["umount", "-l", m], capture_output=True)
        self.mounted.clear()

    # helpers
    def install(self):
        os.makedirs(self.app, exist_ok=True)
        shutil.copy2(self.r.program, os.path.join(self.app, self.exe_name))
        shutil.copy2(self.r.batch, os.path.join(self.app, "vondrel-batch"))

    def see(self, window, shot):
        text = " / ".join(t for t in window["texts"] if t.strip()) or "(no text)"
        entry = "%s: %s" % (window["caption"] or "(no caption)", text)
        if not self.seen or self.seen[-1] != entry:
            self.seen.append(entry)
        path = os.path.join(self.r.out, "%s-%d.png" % (self.name, len(self.seen)))
        self.r.desktop.screenshot(path)
        return entry


class Runner:
    def __init__(self, args):
        self.program = os.path.abspath(args.program)
        self.batch = os.path.join(os.path.dirname(self.program), "vondrel-batch")
        self.out = os.path.abspath(args.out)
        self.wait_notice = args.wait_notice
        os.makedirs(self.out, exist_ok=True)
        self.tmp = tempfile.mkdtemp(prefix="vondrel-faults-")
        host = site_host(self.program)
        self.port = int(host.rsplit(":", 1)[1]) if ":" in host else 80
        if not host.startswith("127.0.0.1"):
            raise RuntimeError("the program is built for %s, not a loopback address" % host)
        self.site = Site(os.path.join(self.tmp, "site"), self.port)
        self.original_sha = sha(self.program)
        # The new build: the same program with a marker after it, so it runs and can be told apart.
        self.new_build = os.path.join(self.tmp, "new-build")
        shutil.copy2(self.program, self.new_build)
        with open(self.new_build, "ab") as f:
            f.write(b"\0vondrel fault matrix: new build\0")
        self.new_sha = sha(self.new_build)
        self.desktop = None

    def env(self):
        env = dict(os.environ)
        env.setdefault("WEBKIT_DISABLE_COMPOSITING_MODE", "1")
        env.setdefault("LIBGL_ALWAYS_SOFTWARE", "1")
        if os.geteuid() == 0:
            env.setdefault("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1")
        return env

    def start_program(self, case, tag):
        exe = os.path.join(case.app, case.exe_name)
        out = open(os.path.join(self.out, "%s-%s.log" % (case.name, tag)), "w")
        return subprocess.Popen([exe], cwd=case.app, env=self.env(), stdout=out, stderr=subprocess.STDOUT,
                                start_new_session=True)

    def wait_window(self, case, pred, timeout, first_pid=None):
        deadline = time.time() + timeout
        while time.time() < deadline:
            pids = program_pids(case.app)
            if first_pid:
                pids.add(first_pid)
            for w in self.desktop.windows(pids):
                if pred(w):
                    return w
            time.sleep(0.4)
        return None

    def run_case(self, case):
        log("case", case.name)
        result = {"case": case.name, "title": case.title}
        try:
            case.install()
            case.prepare()
            self.site.start("2.2", case.package(), case.rate)
            proc = self.start_program(case, "update")
            offer = self.wait_window(case, lambda w: w["caption"] == OFFER_CAPTION, 60, proc.pid)
            if not offer:
                case.problems.append("no update offer within 60 s")
                raise StopCase()
            case.see(offer, "offer")
            self.desktop.press(offer, "确定")
            accepted = time.time()
            progress = self.wait_window(case, lambda w: w["caption"] == PROGRESS_CAPTION, 20, proc.pid)
            if progress:
                case.notes.append("progress window shown")
            case.during_download(self.desktop, {proc.pid})
            notice = self.wait_window(case, lambda w: w["caption"] == NOTICE_CAPTION, self.wait_notice, proc.pid)
            if not notice:
                still = self.wait_window(case, lambda w: w["caption"] == PROGRESS_CAPTION, 1, proc.pid)
                self.desktop.screenshot(os.path.join(self.out, "%s-hang.png" % case.name))
                case.seen.append("no message within %d s%s" % (
                    self.wait_notice, "; the progress window stays up" if still else ""))
                case.problems.append("no message: the user is left waiting")
            else:
                case.see(notice, "notice")
                case.seen[-1] += " (after %.0f s)" % (time.time() - accepted)
                # the restarted build finds nothing newer and opens its main window
                self.site.start("2.1")
                self.desktop.press(notice, "确定")
                after = self.wait_window(
                    case, lambda w: w["caption"].startswith(MAIN_CAPTION_PREFIX), 30, proc.pid)
                if after:
                    pids = program_pids(case.app)
                    restarted = proc.poll() is not None or after["pid"] != proc.pid
                    case.seen.append("then the main window (%s)" % ("restarted build" if restarted else "same run"))
                    if case.expect_update and not restarted:
                        case.problems.append("the new build did not start")
                else:
                    case.seen.append("then no main window within 30 s")
                    case.problems.append("no main window after the message")
                time.sleep(1)
        except StopCase:
            pass
        except Exception as e:  # the harness itself failed: report, do not hide
            case.problems.append("harness: %s" % e)
        finally:
            kill_all(case.app)
            self.site.stop()

        # What was left on disk, and whether the folder's program still starts.
        try:
            files = listing(case.app)
            result["left"] = files
            exe = next((f for f in files if f["name"] == case.exe_name), None)
            if exe is None:
                case.problems.append("the program is gone from its folder")
            elif exe["sha"] == self.original_sha:
                if case.expect_update:
                    case.problems.append("the complete package did not replace the program")
            elif exe["sha"] == self.new_sha:
                if not case.expect_update:
                    case.notes.append("replaced by the new build")
            else:
                case.problems.append("the program was replaced by something else (%d bytes)" % exe["size"])
            for f in files:
                if f["name"] == SCRIPT_NAME:
                    case.problems.append("the replace script was left behind")
                if f["name"].startswith("ZADADA5") and f["name"] != PACKAGE_NAME or (
                        f["name"] == PACKAGE_NAME and case.expect_update):
                    case.problems.append("a package file was left: %s" % f["name"])
            self.site.start("2.1")
            proc = self.start_program(case, "again")
            main = self.wait_window(case, lambda w: w["caption"].startswith(MAIN_CAPTION_PREFIX), 45, proc.pid)
            result["starts_again"] = bool(main)
            if not main:
                case.problems.append("the program in the folder does not start again")
        except Exception as e:
            case.problems.append("harness: %s" % e)
        finally:
            kill_all(case.app)
            self.site.stop()
            case.cleanup()
        result.update({"seen": case.seen, "notes": case.notes, "problems": case.problems})
        log("  saw:", " | ".join(case.seen))
        log("  left:", ", ".join("%s (%d)" % (f["name"], f["size"]) for f in result.get("left", [])))
        log("  " + ("ok" if not case.problems else "PROBLEMS: " + "; ".join(case.problems)))
        return result


class StopCase(Exception):
    pass


# ---- the cases --------------------------------------------------------------

class ServerGone(Case):
    name = "server-gone"
    title = "the server gone in the middle of the download"
    rate = "100k"  # per connection: the download takes many seconds

    def package(self):
        big = os.path.join(self.dir, "big-build")
        shutil.copy2(self.r.new_build, big)
        with open(big, "ab") as f:
            f.write(os.urandom(4 << 20))
        return big

    def during_download(self, desktop, pids):
        deadline = time.time() + 20
        while time.time() < deadline and "vd.exe" not in self.r.site.access_log() and not self._tmp_grew():
            time.sleep(0.2)
        time.sleep(2)
        size = self._tmp_size()
        self.r.site.stop()
        self.notes.append("server stopped with %d bytes on disk" % size)

    def _tmp_size(self):
        try:
            return os.path.getsize(os.path.join(self.app, PACKAGE_NAME))
        except OSError:
            return 0

    def _tmp_grew(self):
        return self._tmp_size() > 0


class DiskFull(Case):
    name = "disk-full"
    title = "the disk full (a small tmpfs)"

    def install(self):
        os.makedirs(self.app, exist_ok=True)
        need = os.path.getsize(self.r.program) + os.path.getsize(self.r.batch)
        size_kb = need // 1024 + 512
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dk" % size_kb, "tmpfs", self.app], check=True)
        self.mounted.append(self.app)
        self.notes.append("folder on a %d KiB tmpfs" % size_kb)
        super().install()

    def package(self):
        big = os.path.join(self.dir, "big-build")
        shutil.copy2(self.r.new_build, big)
        with open(big, "ab") as f:
            f.write(os.urandom(2 << 20))
        return big


class FolderReadOnly(Case):
    name = "folder-read-only"
    title = "the program's folder not writable"

    def prepare(self):
        # root ignores permission bits: a read-only bind mount holds for everyone
        subprocess.run(["mount", "--bind", self.app, self.app], check=True)
        self.mounted.append(self.app)
        subprocess.run(["mount", "-o", "remount,bind,ro", self.app], check=True)
        self.notes.append("folder bind-mounted read-only")


class Leftover(Case):
    name = "leftover-package"
    title = 'a leftover "ZADADA5.exe.tmp"'
    expect_update = True

    def prepare(self):
        with open(os.path.join(self.app, PACKAGE_NAME), "wb") as f:
            f.write(b"\x7fELF partial package from an earlier attempt" + b"\0" * 5000)


class SpaceInName(Case):
    name = "space-in-name"
    title = "an executable name with a space"
    exe_name = "vondrel new"
    expect_update = True


class NotExecutable(Case):
    name = "not-executable"
    title = "a package that is not an executable for this platform"

    def package(self):
        path = os.path.join(self.dir, "windows-build.exe")
        with open(path, "wb") as f:
            f.write(b"MZ\x90\x00" + os.urandom(200000))
        return path


class HtmlPage(Case):
    name = "html-page"
    title = "the server answering the package with an HTML page"

    def package(self):
        path = os.path.join(self.dir, "error.html")
        with open(path, "w", encoding="utf-8") as f:
            f.write("<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>"
                    "<body><h1>404 Not Found</h1><p>The file was not found.</p></body></html>\n")
        return path


CASES = [ServerGone, DiskFull, FolderReadOnly, Leftover, SpaceInName, NotExecutable, HtmlPage]


def report(results, out):
    lines = ["| Case | What the user saw | Left on disk | Starts again | Verdict |", "|---|---|---|---|---|"]
    for r in results:
        left = ", ".join("%s (%d B)" % (f["name"], f["size"]) for f in r.get("left", [])) or "(nothing)"
        verdict = "ok" if not r["problems"] else "; ".join(r["problems"])
        lines.append("| %s | %s | %s | %s | %s |" % (
            r["title"], " → ".join(r["seen"]) or "(nothing)", left,
            "yes" if r.get("starts_again") else "no", verdict))
    text = "\n".join(lines) + "\n"
    with open(os.path.join(out, "report.md"), "w", encoding="utf-8") as f:
        f.write(text)
    with open(os.path.join(out, "report.json"), "w", encoding="utf-8") as f:
        json.dump(results, f, ensure_ascii=False, indent=1)
    return text


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--program", default=os.path.join(ROOT, "build", "linux", "vondrel"))
    ap.add_argument("--out", default=os.path.join(ROOT, "build", "faults"))
    ap.add_argument("--case", action="append", help="run only these cases (by name)")
    ap.add_argument("--wait-notice", type=int, default=90,
                    help="seconds to wait for the message after the download starts")
    args = ap.parse_args()
    for tool in ("Xvfb", "dbus-launch", "import", "nginx"):
        if not shutil.which(tool) and not os.path.exists("/usr/sbin/" + tool):
            sys.exit("missing %s: run make deps" % tool)
    if not os.access(args.program, os.X_OK):
        sys.exit("no program at %s" % args.program)

    import stat
    if not stat.S_ISCHR(os.stat("/dev/null").st_mode):
        sys.exit("/dev/null is not a device on this machine; the programs cannot run")
    runner = Runner(args)
    chosen = [c for c in CASES if not args.case or c.name in args.case]
    results = []
    try:
        runner.desktop = Desktop(runner.out)
        for cls in chosen:
            results.append(runner.run_case(cls(runner)))
    finally:
        if runner.desktop:
            runner.desktop.close()
        runner.site.stop()
        shutil.rmtree(runner.tmp, ignore_errors=True)
    print(report(results, runner.out))
    sys.exit(1 if any(r["problems"] for r in results) else 0)


if __name__ == "__main__":
    main()
