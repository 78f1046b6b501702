"""vondrel-batch carries a replace script out: the update's script with a
plain name, and with a name that holds spaces and a percent sign, quoted
as the program writes it."""

import os
import subprocess
import sys
import tempfile
import time


def script(name):
    # the program's own text (update/replace.cpp), CR LF, no final line break
    if all(c.isalnum() or c in ".-_" for c in name):
        q, start = name, "start " + name
    else:
        q = '"' + name.replace("%", "%%") + '"'
        start = 'start "" ' + q
    return ("@echo off\r\nTaskkill /f /im " + q + "\r\nDel " + q + "\r\nren ZADADA5.exe.tmp " + q + "\r\n" + start +
            "\r\nDel %0\r\nExit")


def run_case(batch, name):
    d = tempfile.mkdtemp(prefix="vondrel-batch-")
    old = os.path.join(d, name)
    # the running old build: a process whose executable is named `name`
    subprocess.run(["cp", "/bin/sleep", old], check=True)
    running = subprocess.Popen([old, "600"], cwd=d)
    # the new build: made executable by the script's start, which runs it
    with open(os.path.join(d, "ZADADA5.exe.tmp"), "w") as f:
        f.write("#!/bin/sh\necho started > \"$(dirname \"$0\")/new-build-ran\"\n")
    os.chmod(os.path.join(d, "ZADADA5.exe.tmp"), 0o644)
    with open(os.path.join(d, "5update.bat"), "wb") as f:
        f.write(script(name).encode())
    r = subprocess.run([batch, "5update.bat"], cwd=d, capture_output=True, text=True, timeout=30)
    problems = []
    if running.wait(10) != -9:
        problems.append("the old build was not ended by force")
    for _ in range(50):
        if os.path.exists(os.path.join(d, "new-build-ran")):
            break
        time.sleep(0.1)
    else:
        problems.append("the new build did not start")
    if not os.path.exists(old) or open(old).read().find("new-build-ran") < 0:
        problems.append("the package did not take the program's name")
    elif not os.access(old, os.X_OK):
        problems.append("the new build is not executable")
    for gone in ("5update.bat", "ZADADA5.exe.tmp"):
        if os.path.exists(os.path.join(d, gone)):
            problems.append(f"{gone} is still there")
    if r.returncode != 0:
        problems.append(f"exit status {r.returncode}: {r.stderr.strip()}")
    subprocess.run(["rm", "-rf", d])
    return problems


def main():
    batch = os.path.abspath(sys.argv[1])
    failed = 0
    # names of this run's own: Taskkill ends every process of that name
    for name in (f"vondrel-batch{os.getpid()}", f"vondrel batch {os.getpid()} 100%.bin"):
        problems = run_case(batch, name)
        print(("ok   " if not problems else "FAIL ") + repr(name) + ("" if not problems else ": " + "; ".join(problems)))
        failed += bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
