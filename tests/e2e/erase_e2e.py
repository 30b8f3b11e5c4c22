"""The tool as its user meets it: started for real in an X server, read and
driven only through what a screen reader sees. After start the window shows
the simulated tracker's serial number and version; pressing the button
erases, and the log then holds exactly the expected lines. Saves a
screenshot of the window."""

import os
import struct
import subprocess
import sys
import time
import zlib

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402
import pyatspi  # noqa: E402

binary, framebuffer, out = sys.argv[1:4]

SERIAL = "777"
VERSION = "QUIN-2.4g"
EXPECTED_LOG = (
    [f"Серийный номер {SERIAL}", "Идёт стирание записей в приборе, пожалуйста, подождите..."]
    + [f"Сектор {n} стерт" for n in range(31)]
    + ["Память успешно стёрта, дождитесь погасания красного светодиода"]
)


def describe(node, depth=0):
    """What the tool shows a screen reader, for a failure's report."""
    if node is None or depth > 6:
        return ""
    lines = "  " * depth + f"{node.getRoleName()} {node.name!r}\n"
    for index in range(node.childCount):
        lines += describe(node.getChildAtIndex(index), depth + 1)
    return lines


def fail(message):
    print(f"FAILED: {message}")
    desktop = pyatspi.Registry.getDesktop(0)
    print(f"applications on the bus: {[desktop.getChildAtIndex(i).name for i in range(desktop.childCount)]}")
    application = find_application(tool.pid)
    print(describe(application) if application else "the tool is not on the bus")
    sys.exit(1)


def wait_for(what, probe, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.05)
    fail(f"timed out waiting for {what}")


def find_application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        if application is not None and application.get_process_id() == pid:
            return application
    return None


def find_by_name(root, name):
    # libatspi caches names and updates them from change events; asking
    # afresh cannot miss a change that raced the cache.
    root.clear_cache()
    return pyatspi.findDescendant(root, lambda node: node is not None and node.name == name)


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def save_png(path, width, height, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as png:
        png.write(b"\x89PNG\r\n\x1a\n")
        png.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        png.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        png.write(chunk(b"IEND", b""))


def screenshot(path, x, y, width, height):
    """Crops Xvfb's XWD framebuffer file (32 bits per pixel, BGRX) to PNG."""
    with open(framebuffer, "rb") as xwd:
        data = xwd.read()
    header = struct.unpack(">25I", data[:100])
    header_size, bits_per_pixel, bytes_per_line, colors = header[0], header[11], header[12], header[19]
    screen_width, screen_height = header[4], header[5]
    if bits_per_pixel != 32:
        fail(f"framebuffer has {bits_per_pixel} bits per pixel")
    pixels = header_size + colors * 12
    x, y = max(x, 0), max(y, 0)
    width, height = min(width, screen_width - x), min(height, screen_height - y)
    rows = []
    for row in range(y, y + height):
        start = pixels + row * bytes_per_line + x * 4
        bgrx = data[start : start + width * 4]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = bgrx[2::4], bgrx[1::4], bgrx[0::4]
        rows.append(bytes(rgb))
    save_png(path, width, height, rows)


# The bus answers only between the tool's handlers, and the erase handler
# runs for as long as the erase: replies may take that long.
Atspi.set_timeout(60000, 60000)
tool = subprocess.Popen([binary, "--simulate", "--fast-flash"])
try:
    application = wait_for("the tool on the accessibility bus", lambda: find_application(tool.pid))
    # A screen reader announces the labels by name: title and value.
    wait_for(
        "the serial number and version",
        lambda: find_by_name(application, f"Серийный номер: {SERIAL}")
        and find_by_name(application, f"Версия прошивки: {VERSION}"),
    )
    print(f"ok: window shows serial {SERIAL} and version {VERSION}")
    log = find_by_name(application, "Журнал")
    button = find_by_name(application, "Стереть все записи")
    for name, node in (("log", log), ("button", button)):
        if node is None:
            fail(f"no accessible {name}")

    action = button.queryAction()
    press = [action.getName(i) for i in range(action.nActions)].index("Press")
    action.doAction(press)
    wait_for("the end of the erase", lambda: EXPECTED_LOG[-1] in text_of(log))
    lines = text_of(log).splitlines()
    if lines != EXPECTED_LOG:
        fail("log differs:\n" + "\n".join(lines))
    print(f"ok: log holds the {len(EXPECTED_LOG)} expected lines")

    window = application.getChildAtIndex(0)
    extents = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    screenshot(os.path.join(out, "window.png"), extents.x, extents.y, extents.width, extents.height)
    print(f"ok: screenshot {extents.width}x{extents.height} saved to {out}/window.png")
finally:
    tool.terminate()
    tool.wait(10)
