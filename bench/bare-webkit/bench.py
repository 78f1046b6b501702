"""The program's start-up against a bare WebKitGTK window loading the same
page, in the same run: the time from launch to the start page's
DocumentComplete and the peak memory (PSS of the process and its WebKit
processes), medians of a few alternating runs, under Xvfb.

  bench.py --program vondrel-bench --bare bare-webkit --source DIR --config vondrel_config.h --out DIR [--runs N]
"""

import argparse
import os
import re
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time


def descendants(root):
    children = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(ppid, []).append(int(pid))
    out, todo = [], [root]
    while todo:
        p = todo.pop()
        out.append(p)
        todo.extend(children.get(p, []))
    return out


def pss_kib(pid):
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def one_run(argv, cwd, env, settle=1.0, timeout=30.0):
    """(ms from launch to DocumentComplete, peak PSS in MiB)."""
    t0 = time.monotonic()
    proc = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    peak, done_at, buf = 0, None, b""
    try:
        while True:
            now = time.monotonic()
            if now - t0 > timeout:
                raise RuntimeError(f"{os.path.basename(argv[0])}: no DocumentComplete in {timeout:.0f} s")
            if done_at is not None and now - done_at > settle:
                break
            r, _, _ = select.select([proc.stdout], [], [], 0.02)
            if r:
                chunk = os.read(proc.stdout.fileno(), 4096)
                buf += chunk
                if done_at is None and b"document-complete" in buf:
                    line = buf.split(b"document-complete", 1)[1].split(b"\n", 1)[0]
                    elapsed = int(line.strip()) - t0 * 1000
                    done_at = time.monotonic()
            peak = max(peak, sum(pss_kib(p) for p in descendants(proc.pid)))
    finally:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()
    return elapsed, peak / 1024.0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--bare", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--config", required=True, help="the program's generated vondrel_config.h")
    ap.add_argument("--out", required=True)
    ap.add_argument("--runs", type=int, default=5)
    a = ap.parse_args()
    a.program, a.bare = os.path.abspath(a.program), os.path.abspath(a.bare)
    with open(a.config) as f:  # the site the program was built for
        a.port = int(re.search(r'VONDREL_SITE_HOST "127\.0\.0\.1:(\d+)"', f.read()).group(1))
    os.makedirs(a.out, exist_ok=True)
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    display = ":" + os.fdopen(r).readline().strip()
    site = os.path.join(a.source, "scripts", "site.sh")
    state = os.path.join(a.out, "site-webkit")
    url = f"http://127.0.0.1:{a.port}/index20.html"
    results = {"vondrel": [], "bare-webkit": []}
    try:
        subprocess.run(["bash", site, "start", "--port", str(a.port), "--state", state], check=True,
                       stdout=subprocess.DEVNULL)
        for i in range(a.runs):
            for name, argv, cwd in (("vondrel", [a.program], os.path.dirname(a.program)),
                                    ("bare-webkit", [a.bare, url], None)):
                home = tempfile.mkdtemp(prefix="vondrel-bench-")
                env = dict(os.environ, DISPLAY=display, NO_AT_BRIDGE="1", XDG_CACHE_HOME=home + "/cache",
                           XDG_DATA_HOME=home + "/data", XDG_CONFIG_HOME=home + "/config")
                env.pop("WAYLAND_DISPLAY", None)
                try:
                    results[name].append(one_run(argv, cwd, env))
                finally:
                    shutil.rmtree(home, ignore_errors=True)
    finally:
        subprocess.run(["bash", site, "stop", "--state", state], stdout=subprocess.DEVNULL)
        xvfb.terminate()
        xvfb.wait()
    med = {k: (statistics.median(t for t, _ in v), statistics.median(m for _, m in v)) for k, v in results.items()}
    vt, vm = med["vondrel"]
    bt, bm = med["bare-webkit"]
    lines = [
        f"start page, launch to DocumentComplete, median of {a.runs} runs (cold cache, Xvfb):",
        f"  vondrel      {vt:7.0f} ms   peak {vm:6.1f} MiB PSS",
        f"  bare-webkit  {bt:7.0f} ms   peak {bm:6.1f} MiB PSS",
        f"  ratio        {vt / bt:7.2f}      {vm / bm:6.2f}        (target: within 1.15)",
        "  runs (ms, MiB): vondrel " + ", ".join(f"{t:.0f}/{m:.0f}" for t, m in results["vondrel"]) +
        "; bare-webkit " + ", ".join(f"{t:.0f}/{m:.0f}" for t, m in results["bare-webkit"]),
    ]
    text = "\n".join(lines)
    print(text)
    with open(os.path.join(a.out, "webkit.txt"), "w") as f:
        f.write(text + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
