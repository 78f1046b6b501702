"""End-to-end cases of the Linux program: e2e.py CASE --program ... (see harness.run)."""

import http.server
import os
import re
import shutil
import socketserver
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (Atspi, Failure, Program, Site, application, centre, clipboard, find, find_one,  # noqa: E402
                     geometry, page_link, page_title, press, run, showing, text_of, wait_for, window_ids, x)

CAPTION = re.compile(r"^Vondrelv2\.0 - 博客：\S+$")
CONNECTION_MESSAGE = "无法联接上网络，此工具只能联网才能正常使用，请检查电脑是否已联网。"
UPDATE_UA = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)"


def pixel(path, px, py):
    """The colour of one pixel of a screenshot."""
    out = subprocess.run(["convert", path, "-crop", f"1x1+{px}+{py}", "-depth", "8", "txt:-"],
                         capture_output=True, text=True).stdout
    m = re.search(r"\((\d+),(\d+),(\d+)", out.splitlines()[-1] if out else "")
    return tuple(int(v) for v in m.groups()) if m else None


def column(path, px, top, bottom):
    """The colours of a run of pixels down a screenshot."""
    out = subprocess.run(["convert", path, "-crop", f"1x{bottom - top}+{px}+{top}", "-depth", "8", "txt:-"],
                         capture_output=True, text=True).stdout
    return [tuple(int(v) for v in m.groups()) for m in re.finditer(r"\((\d+),(\d+),(\d+)", out)]


def main_window(timeout=20):
    def look():
        out = x("search", "--onlyvisible", "--name", "^Vondrelv2", check=False).split()
        return out[0] if out else None
    return wait_for("the main window", look, timeout)


def message(app, text, timeout=20):
    """The message box showing `text`: (box, its OK button)."""
    label = find_one(app, f"the message {text!r}", timeout, name=text, visible=True)
    box = label
    while box is not None and box.get_role_name() not in ("alert", "dialog"):
        box = box.get_parent()
    if box is None:
        raise Failure(f"{text!r} is not in a message box")
    return box, find_one(box, "its OK button", 5, role="push button", name="确定")


def status_text(app):
    bar = [n for n in find(app, role="label", visible=True) if n.get_name() == "当前状态:"]
    if not bar:
        return None
    panel = bar[0].get_parent().get_parent()
    texts = [n.get_name() for n in find(panel, role="label")]
    return texts[1] if len(texts) > 1 else None


def open_menu_item(app, menu, item):
    top = find_one(app, f"the menu {menu}", role="menu", name=menu)
    press(top)
    entry = find_one(top, f"the item {item}", role="menu item", name=item, visible=True)
    press(entry)


class SlowSite(threading.Thread):
    """The site's files from site/, the start page held back for a while, so
    that the loading cover can be seen."""

    def __init__(self, root, port, delay):
        super().__init__(daemon=True)
        site_root, hold = root, delay

        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *a, **kw):
                super().__init__(*a, directory=site_root, **kw)

            def log_message(self, *a):
                pass

            def do_GET(self):
                if self.path.startswith("/index20.html"):
                    with open(os.path.join(site_root, "index20.html"), "rb") as f:
                        body = f.read()
                    self.send_response(200)
                    self.send_header("Content-Type", "text/html; charset=utf-8")
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    half = len(body) // 2
                    self.wfile.write(body[:half])
                    self.wfile.flush()
                    time.sleep(hold)
                    self.wfile.write(body[half:])
                    return
                super().do_GET()

        socketserver.TCPServer.allow_reuse_address = True
        self.server = socketserver.ThreadingTCPServer(("127.0.0.1", port), Handler)

    def run(self):
        self.server.serve_forever()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def start(case, a, site=True, cwd=None, program=None):
    if site:
        s = Site(a.source, a.port, os.path.join(a.out, f"site-{case.name}"))
        s.stop()
        s.start()
        case.cleanups.append(s.stop)
    else:
        s = None
    p = Program(program or a.program, cwd=cwd, log=os.path.join(a.out, f"{case.name}-program.log"))
    case.cleanups.append(p.kill)
    wid = main_window()
    app = application(os.path.basename(program or a.program))
    return s, p, wid, app


def wait_ready(case, app):
    wait_for("就绪 in the status bar", lambda: status_text(app) == "就绪", 30)
    case.check(True, "the status bar reads 就绪")


# ---- cases -----------------------------------------------------------------------

def case_window(case, a):
    """The window: caption, size, place, menus; the cover, then 就绪; Esc in the page."""
    slow = SlowSite(os.path.join(a.source, "site"), a.port, 8)
    slow.start()
    case.cleanups.append(slow.close)
    p = Program(a.program, log=os.path.join(a.out, "window-program.log"))
    case.cleanups.append(p.kill)
    wid = main_window()
    app = application(os.path.basename(a.program))
    title = x("getwindowname", wid)
    case.check(CAPTION.match(title), f"the caption is {title!r}")
    gx, gy, gw, gh = geometry(wid)
    case.check((gw, gh) == (939, 748), f"the window is 939 x 748 ({gw} x {gh})")
    want = ((case.display.width - 939) // 2, (case.display.height - 748) // 2)
    case.check((gx, gy) == want, f"the window is centred at {want} ({gx}, {gy})")

    # the page's process may keep the accessibility bus busy while it loads:
    # the cover is looked for on the screen
    def cover_on_screen():
        path = case.shot("cover")
        white = pixel(path, gx + 470, gy + 650)
        box = column(path, gx + 368 + 2, gy + 240, gy + 300)  # the picture box's own background
        frame = column(path, gx + 368 + 60, gy + 240, gy + 300)  # the animation: light blue tones
        if white == (255, 255, 255) and (240, 240, 240) in box and any(b > 245 and r < 235 for r, g, b in frame):
            return path
        os.remove(path)
        case.step -= 1
        return None
    wait_for("the loading cover on the screen", cover_on_screen, 10, interval=0.05)
    case.check(True, "the cover and the loading animation show while the page loads")

    bar = find_one(app, "the menu bar", role="menu bar")
    menus = [m.get_name() for m in find(bar, role="menu") if m.get_parent() == bar]
    case.check(menus == ["文件(F)", "帮助(H)"], f"the menu bar holds 文件 and 帮助 only: {menus}")
    file_items = [n.get_name() for n in find(bar, role="menu item")]
    want_items = ["刷新页面(R)", "页面另存为(A)", "查看网页版(W)", "打印(P)", "打印预览(V)", "页面设置(U)", "退出(X)",
                  "检查更新(C)", "联系邮箱(E)", "我要留言(G)", "Vondo主页(W)", "关于 Vondo(A)..."]
    case.check(file_items == want_items, f"the menus' items in order: {file_items}")
    case.check(not find(bar, name="全选(A)"), "the hidden menu 右键 is not in the bar")
    press(find_one(bar, "the menu 文件", role="menu", name="文件(F)"))
    time.sleep(0.5)
    case.shot("file-menu")
    x("key", "Escape")

    wait_ready(case, app)
    case.check(not find(app, prefix="数据加载中...", visible=True), "the cover is gone")
    case.check(not find(app, role="animation", visible=True), "the loading animation is gone")
    case.shot("ready")

    # a smaller window: the status bar docks at the new bottom edge
    x("windowsize", wid, 800, 600)
    def docked():
        label = find(app, role="label", name="就绪", visible=True)
        if not label:
            return None
        e = label[0].get_component_iface().get_extents(Atspi.CoordType.SCREEN)
        return e if abs((e.y + e.height) - (gy + 600)) <= 6 and e.x + e.width <= gx + 800 else None
    wait_for("the status bar at the bottom of the resized window", docked, 10)
    case.check(True, "after a resize the status bar lies along the new bottom edge")
    time.sleep(1)
    case.shot("resized")

    # Esc with the focus in the page closes the window and ends the program
    x("mousemove", gx + 400, gy + 300, "click", "1")
    time.sleep(0.5)
    x("key", "Escape")
    code = p.wait(15)
    case.check(code == 0, f"Esc in the page ends the program with exit code 0 ({code})")


def popup_items(app, timeout=10):
    """The popped-up menu (the one that holds 全选) and its items."""
    item = find_one(app, "the popup menu", role="menu item", name="全选(A)", visible=True, timeout=timeout)
    menu = item.get_parent()
    return menu, [n.get_name() for n in find(menu, role="menu item")]


def context_menu(case, app, wid):
    gx, gy, _, _ = geometry(wid)
    x("mousemove", gx + 400, gy + 300)
    time.sleep(0.3)
    x("click", "3")
    try:
        menu, items = popup_items(app, 6)
    except Failure:  # a click lost while the last menu let go of the pointer: once more
        print("  (the right-click showed no menu: once more)")
        x("click", "3")
        menu, items = popup_items(app, 6)
    e = menu.get_component_iface().get_extents(Atspi.CoordType.SCREEN)
    top = menu.get_parent()  # the menu's own window
    w = top.get_component_iface().get_extents(Atspi.CoordType.SCREEN) if top else e
    case.check(abs(w.x - (gx + 403)) <= 3 and abs(w.y - (gy + 303)) <= 3,
               f"the menu opens 3 pixels right of and below the cursor ({w.x - gx - 400}, {w.y - gy - 300})")
    return menu, items


def case_page(case, a):
    """Our right-click menu, select all and copy, the update check, the connectivity message."""
    site, p, wid, app = start(case, a)
    wait_ready(case, app)
    # the address of the link under the mouse in the status bar, none off it
    link = wait_for("the page's link 快递公司", lambda: page_link(app, "快递公司"), 10)
    x("mousemove", *centre(link))
    hover = wait_for("the link's address in the status bar",
                     lambda: (lambda t: t if t and t.endswith("/carriers.html") else None)(status_text(app)), 10)
    case.check(hover.startswith(f"http://127.0.0.1:{a.port}/"), f"over a link the status bar shows {hover!r}")
    gx, gy, _, _ = geometry(wid)
    x("mousemove", gx + 400, gy + 650)
    wait_for("the status bar emptied", lambda: status_text(app) == "", 10)
    case.check(True, "off the link the status text is empty")

    menu, items = context_menu(case, app, wid)
    case.shot("context-menu")
    want = ["刷新(R)", "撤消(U)", "剪切(T)", "复制(C)", "粘贴(P)", "删除(D)", "全选(A)", "关于..."]
    case.check(items == want, f"right-click shows ContextMenu, not the view's own: {items}")
    press(find_one(menu, "全选", role="menu item", name="全选(A)"))
    time.sleep(0.5)
    menu, _ = context_menu(case, app, wid)
    press(find_one(menu, "复制", role="menu item", name="复制(C)"))
    text = wait_for("the page text on the clipboard", lambda: (lambda t: t if "查快递" in t else None)(clipboard()), 10)
    case.check("查快递" in text and len(text) > 100, f"全选 then 复制 puts the page text on the clipboard ({len(text)} chars)")
    case.shot("selected")

    # save as: the file chooser, then the page as MHTML
    saved = os.path.join(tempfile.mkdtemp(prefix="vondrel-e2e-save-"), "page.mht")
    case.cleanups.append(lambda: shutil.rmtree(os.path.dirname(saved), ignore_errors=True))
    open_menu_item(app, "文件(F)", "页面另存为(A)")
    chooser = wait_for("the save dialog", lambda: window_ids("页面另存为"), 10)[0]
    case.shot("save-as")
    x("windowfocus", "--sync", chooser)
    x("key", "ctrl+a")
    x("type", "--delay", "20", saved)
    x("key", "Return")
    head = wait_for("the saved page", lambda: os.path.exists(saved) and os.path.getsize(saved) > 1000 and
                    open(saved, "rb").read(4000), 15)
    case.check(b"multipart/related" in head and b"index20.html" in head,
               f"页面另存为 saves the page as MHTML ({os.path.getsize(saved)} bytes)")

    open_menu_item(app, "帮助(H)", "检查更新(C)")
    box, ok = message(app, "无可用更新。")
    case.check(box.get_name() == "软件更新", f"the check says 无可用更新。 in a box captioned {box.get_name()!r}")
    case.shot("no-update")
    press(ok)
    wait_for("the box to close", lambda: not find(app, name="无可用更新。", visible=True), 10)

    site.stop()
    open_menu_item(app, "文件(F)", "刷新页面(R)")  # the page now fails: the error page
    title = wait_for("the error page", lambda: (lambda t: t if t and "无法显示" in t else None)(page_title(app)), 20)
    case.check(title == "Internet Explorer 无法显示该网页", f"the site stopped, refresh shows the error page: {title!r}")
    case.shot("error-page")
    case.check(not find(app, name=CONNECTION_MESSAGE, visible=True), "the first refresh shows the error page only")
    open_menu_item(app, "文件(F)", "刷新页面(R)")
    box, ok = message(app, CONNECTION_MESSAGE)
    case.check(box.get_name() == "信息：", f"refreshing the error page shows the connectivity message ({box.get_name()})")
    case.shot("connectivity")
    press(ok)
    open_menu_item(app, "文件(F)", "退出(X)")
    code = p.wait(15)
    case.check(code == 0, f"退出 ends the program with exit code 0 ({code})")


def install_opener(case):
    """The desktop's default program for web and mail addresses: one that
    writes down what it was given. Returns its file."""
    opened = os.path.join(case.home, "opened")
    tool = os.path.join(case.home, "opener.sh")
    with open(tool, "w") as f:
        f.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{opened}"\n')
    os.chmod(tool, 0o755)
    apps = os.path.join(os.environ["XDG_DATA_HOME"], "applications")
    os.makedirs(apps, exist_ok=True)
    with open(os.path.join(apps, "vondrel-e2e-opener.desktop"), "w") as f:
        f.write(f"[Desktop Entry]\nType=Application\nName=opener\nExec={tool} %u\nNoDisplay=true\n"
                "MimeType=x-scheme-handler/http;x-scheme-handler/mailto;\n")
    os.makedirs(os.environ["XDG_CONFIG_HOME"], exist_ok=True)
    with open(os.path.join(os.environ["XDG_CONFIG_HOME"], "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\nx-scheme-handler/http=vondrel-e2e-opener.desktop\n"
                "x-scheme-handler/mailto=vondrel-e2e-opener.desktop\n")
    return opened


def opened_lines(path):
    try:
        with open(path) as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def case_about(case, a):
    """The about window: both tabs, the link, the folder text, Esc and Enter;
    the Help menu's links."""
    opened = install_opener(case)
    site, p, wid, app = start(case, a)
    wait_ready(case, app)
    open_menu_item(app, "帮助(H)", "关于 Vondo(A)...")
    about = wait_for("the about window", lambda: window_ids("关于 Vondrel"), 10)[0]
    ax, ay, aw, ah = geometry(about)
    case.check((aw, ah) == (326, 273), f"the about window is 326 x 273 ({aw} x {ah})")
    frame = find_one(app, "the about frame", role="frame", name="关于 Vondrel")
    tabs = [t.get_name() for t in find(frame, role="page tab")]
    case.check(tabs == ["关于", "详细资料"], f"two tabs, 关于 first: {tabs}")
    main = find_one(app, "the main frame", role="frame", prefix="Vondrelv2.0")
    case.check(not main.get_state_set().contains(Atspi.StateType.SENSITIVE),
               "the main window takes no input while the about window is open")
    link = find_one(frame, "the maker's link", role="link", visible=True)
    case.shot("about")
    x("mousemove", *centre(link))
    time.sleep(0.3)
    case.shot("link-hover")
    x("click", "1")
    first = wait_for("the link handed to the desktop", lambda: opened_lines(opened), 10)
    case.check(first == [f"http://{link.get_name()}"], f"a click on the link opens {first}")
    detail = find_one(frame, "the tab 详细资料", role="page tab", name="详细资料")
    x("mousemove", *centre(detail), "click", "1")
    edit = find_one(frame, "the details box", role="text", visible=True)
    folder = os.path.dirname(os.path.abspath(a.program))
    text = wait_for("the folder text", lambda: (lambda t: t if "程序文件夹" in t else None)(text_of(edit)), 5)
    case.check(text == f"\n程序文件夹:\n{folder}", f"详细资料 shows the program folder: {text!r}")
    case.check(not edit.get_state_set().contains(Atspi.StateType.EDITABLE),
               "the details box is read-only")
    case.shot("details")
    x("key", "Escape")
    wait_for("the about window to close", lambda: not window_ids("关于 Vondrel"), 10)
    case.check(True, "Esc closes the about window")
    case.check(wait_for("the main window to take input again",
                        lambda: main.get_state_set().contains(Atspi.StateType.SENSITIVE), 5),
               "the main window takes input again")
    case.shot("closed")

    # Enter clicks the default button
    open_menu_item(app, "帮助(H)", "关于 Vondo(A)...")
    about = wait_for("the about window again", lambda: window_ids("关于 Vondrel"), 10)[0]
    x("windowfocus", "--sync", about)
    x("key", "Return")
    wait_for("the about window to close on Enter", lambda: not window_ids("关于 Vondrel"), 10)
    case.check(True, "Enter closes the about window through its default button")

    before = len(opened_lines(opened))
    open_menu_item(app, "帮助(H)", "联系邮箱(E)")
    open_menu_item(app, "文件(F)", "查看网页版(W)")
    links = wait_for("two more addresses", lambda: (lambda l: l[before:] if len(l) >= before + 2 else None)(
        opened_lines(opened)), 10)
    case.check(links[0].startswith("mailto:") and links[1] == f"http://127.0.0.1:{a.port}",
               f"联系邮箱 and 查看网页版 go to the desktop's programs: {links}")
    open_menu_item(app, "文件(F)", "退出(X)")
    case.check(p.wait(15) == 0, "the program ends with exit code 0")


def prepare_update(case, a, helper=True, site_args=()):
    """A copy of the program in a folder of its own, the site offering 2.2."""
    folder = tempfile.mkdtemp(prefix="vondrel-e2e-update-")
    case.cleanups.append(lambda: shutil.rmtree(folder, ignore_errors=True))
    name = f"vondrel-e2e{os.getpid()}"  # the image name the script ends: ours alone
    old = os.path.join(folder, name)
    with open(a.program, "rb") as f:
        package = f.read()
    with open(old, "wb") as f:
        f.write(package + b"\0old build")  # the old build differs from the package
    os.chmod(old, 0o755)
    if helper:
        shutil.copy2(a.batch, os.path.join(folder, "vondrel-batch"))
    site = Site(a.source, a.port, os.path.join(a.out, f"site-{case.name}"))
    site.stop()
    shutil.rmtree(os.path.join(a.out, f"site-{case.name}", "logs"), ignore_errors=True)
    site.start("--version", "2.2", "--package", a.program, *site_args)
    case.cleanups.append(site.stop)
    return folder, name, old, package, site


def case_update_exit(case, a):
    """The script cannot run (no helper): the program ends itself through the
    exit command from the download's thread, with exit code 0, unreplaced."""
    folder, name, old, package, site = prepare_update(case, a, helper=False)
    p = Program(old, cwd="/", log=os.path.join(a.out, f"{case.name}-program.log"))
    case.cleanups.append(p.kill)
    app = application(name)
    press(message(app, "Vondrel有最新版本2.2，是否要更新？")[1])
    _, done_ok = message(app, "升级完成，点击确认按钮程序重新启动。", timeout=60)
    site.start("--version", "2.1", "--package", a.program)
    case.shot("complete")
    press(done_ok)
    code = p.wait(20)
    case.check(code == 0, f"the exit command from the download's thread ends the program with 0 ({code})")
    with open(old, "rb") as f:
        case.check(f.read() != package, "the program file is left as it was")
    case.check(os.path.exists(os.path.join(folder, "ZADADA5.exe.tmp")), "the package stays as ZADADA5.exe.tmp")


def case_update(case, a):
    """A full update: the offer, the download over five connections, the
    completion message, the script, the new build."""
    # sent slowly enough to watch the bar move
    slow = ("--rate-limited-location", "--rate", "400k")
    folder, name, old, package, site = prepare_update(case, a, site_args=slow)
    p = Program(old, cwd="/", log=os.path.join(a.out, "update-program.log"))
    case.cleanups.append(p.kill)
    app = application(name)
    box, ok = message(app, "Vondrel有最新版本2.2，是否要更新？")
    case.check(box.get_name() == "软件更新", "ver.php offers 2.2")
    case.check(find(box, role="push button", name="取消"), "the offer has OK and Cancel")
    case.shot("offer")
    press(ok)
    update = wait_for("the update window", lambda: window_ids("程序更新进度"), 10)[0]
    _, _, uw, uh = geometry(update)
    case.check((uw, uh) == (333, 51), f"the update window is 333 x 51 ({uw} x {uh})")
    bar = find_one(app, "the progress bar", role="progress bar")
    wait_for("the bar to move", lambda: 0 < int(bar.get_name() or 0) < 100, 30)
    case.check(True, f"the progress bar moves during the download ({bar.get_name()} %)")
    case.shot("downloading")
    done_box, done_ok = message(app, "升级完成，点击确认按钮程序重新启动。", timeout=60)
    case.check(done_box.get_name() == "软件更新提示", "the completion message")
    case.check(window_ids("程序更新进度"), "the update window is up")
    up = find_one(app, "the update window", role="frame", name="程序更新进度")
    case.check(up.get_state_set().contains(Atspi.StateType.SENSITIVE),
               "the box from the download's thread leaves the update window usable")
    case.shot("complete")
    tmp = os.path.join(folder, "ZADADA5.exe.tmp")
    with open(tmp, "rb") as f:
        case.check(f.read() == package, "the package arrived whole")
    # five segments: one from the start, four from a fifth of the file on, as
    # Range requests; a connection that finished may take over part of another
    gets = [l for l in site.access_log() if '"GET /updata/vd.exe' in l and UPDATE_UA in l]
    starts = [int(m.group(1)) for m in (re.search(r'range="bytes=(\d+)-"', l) for l in gets) if m]
    whole = [l for l in gets if 'range="-"' in l]
    size = len(package)
    segments = [i * size // 5 for i in range(1, 5)]
    found = [s for s in segments if any(abs(s - t) <= 1 for t in starts)]
    case.check(len(whole) == 1 and found == segments,
               f"five connections: one from byte 0, Range requests from {segments} ({len(gets)} requests in all)")
    site.start("--version", "2.1", "--package", a.program, *slow)
    # (2.1 now, or the new build would offer the update again)

    press(done_ok)
    code = p.wait(30)
    case.check(code != 0, f"the script ended the old build by force (status {code})")

    def new_build():
        for pid in os.listdir("/proc"):
            if pid.isdigit() and int(pid) != p.proc.pid:
                try:
                    if os.readlink(f"/proc/{pid}/exe") == old:
                        return int(pid)
                except OSError:
                    pass
        return None
    pid = wait_for("the new build to start", new_build, 20)
    case.cleanups.append(lambda: os.kill(pid, 9))
    wait_for("the new build's window", lambda: main_window(), 20)
    with open(old, "rb") as f:
        case.check(f.read() == package, "the program file is now the new build")
    case.check(os.access(old, os.X_OK), "the new build is executable")
    leftover = [f for f in ("5update.bat", "ZADADA5.exe.tmp") if os.path.exists(os.path.join(folder, f))]
    case.check(not leftover, f"the script and the package are gone ({leftover})")
    app = application(name)
    wait_ready(case, app)
    case.check(not find(app, prefix="Vondrel有最新版本", visible=True), "the new build does not offer 2.2 again")
    case.shot("new-build")


if __name__ == "__main__":
    sys.exit(run({"window": case_window, "page": case_page, "about": case_about, "update": case_update,
                  "update-exit": case_update_exit}))
