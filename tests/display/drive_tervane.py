#!/usr/bin/python3
"""Drives the real tervane on an X display the way a person and assistive
technology meet it, and checks what they would see.

Controls are found over the accessibility bus (AT-SPI) by role and accessible
name, never by screen position; clicks are the controls' own actions, typing
and the double click on a list row go through the X server (xdotool) at the
place the control reports. Every wait polls a condition until a deadline.

The scenario, on the simulated cameras of scripts/demo-cameras.json:
  launcher -> batch dialog -> select all -> firmware file -> Upgrade: every
  row upgraded, the final prompt; Load plan... (the real file dialog) with a
  plan that gives every camera its own UID and two of them their own
  addresses: the planned columns show them; Export list... (the save dialog)
  writes the list with them; the network Set runs the plan; then the test bench: untick auto show, type
  the version, double-click a camera -> logged in, live video changing, the
  QR code decodes (zbarimg) to the UID, PASS writes the record file; then the
  ONVIF camera of the same list: live video over RTSP changing, the QR code
  reads its serial number, an arrow held down moves the camera and its
  release stops it, the IR-cut buttons reach it (the simulator's state
  dump), PASS writes its record with protocol and model.
Before and after, every visible control of each dialog lies on the screen.
"""

import argparse
import configparser
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import Atspi, GLib

POLL_S = 0.2


class Failure(Exception):
    pass


def wait_for(what, condition, timeout_s):
    """Polls condition() until it gives something truthy; returns that."""
    deadline = time.monotonic() + timeout_s
    last_error = None
    while time.monotonic() < deadline:
        try:
            result = condition()
            if result:
                return result
        except (GLib.Error, LookupError) as error:  # the tree changes under our feet
            last_error = error
        time.sleep(POLL_S)
    raise Failure(f"timed out after {timeout_s} s waiting for {what}" + (f" ({last_error})" if last_error else ""))


def step(text):
    print(f"display test: {text}", flush=True)


# ------------------------------------------------------------------ texts


class Texts:
    """The captions of one language file, looked up as the dialogs do."""

    def __init__(self, path):
        parser = configparser.ConfigParser(interpolation=None, strict=False, comment_prefixes=(";",))
        parser.optionxform = str
        with open(path, encoding="utf-8-sig") as file:
            parser.read_file(file)
        self.table = parser["StringTable"]

    def __getitem__(self, key):
        return self.table.get(key, "")


# ------------------------------------------------------- accessibility tree


def children(node):
    return [child for child in (node.getChildAtIndex(i) for i in range(node.childCount)) if child is not None]


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def find(parent, role, name=None, shown=True):
    """The direct child of parent with the role and name (showing ones only by default)."""
    for child in children(parent):
        if child.getRoleName() == role and (name is None or child.name == name) and (not shown or showing(child)):
            return child
    raise LookupError(f"no {role} {name!r} in {parent.getRoleName()} {parent.name!r}")


def find_deep(parent, role, name=None, depth=3):
    for child in children(parent):
        if child.getRoleName() == role and (name is None or child.name == name):
            return child
        if depth > 1:
            try:
                return find_deep(child, role, name, depth - 1)
            except LookupError:
                pass
    raise LookupError(f"no {role} {name!r} below {parent.name!r}")


def do_action(node, *names):
    """Runs the first of the named actions the control offers (Press, Toggle...)."""
    action = node.queryAction()
    offered = [action.getName(i) for i in range(action.nActions)]
    for name in names:
        if name in offered:
            action.doAction(offered.index(name))
            return
    raise Failure(f"{node.getRoleName()} {node.name!r} offers {offered}, none of {names}")


def press(node):
    if not node.getState().contains(pyatspi.STATE_ENABLED):
        raise Failure(f"{node.getRoleName()} {node.name!r} is disabled")
    do_action(node, "Press")


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def window(app, name, timeout_s=30):
    """A top-level window of the program by its title, once it is on screen."""
    return wait_for(f"window {name!r}", lambda: next(
        (w for w in children(app) if w.name == name and showing(w)), None), timeout_s)


def window_gone(app, node, name, timeout_s=30):
    """Waits until the window (named `name` before it went) has closed."""

    def gone():
        try:
            return all(w != node or not showing(w) for w in children(app))
        except GLib.Error:
            return True  # the program has ended with its last window

    wait_for(f"window {name!r} to close", gone, timeout_s)


# ------------------------------------------------------------ the screen


class Screen:
    def __init__(self, width, height, work, shots_dir):
        self.width, self.height, self.work = width, height, work
        self.shots_dir = shots_dir
        self.shots = 0

    def grab(self, box):
        """The pixels of box as a PNG file of its own."""
        x, y, w, h = box
        self.shots += 1
        path = os.path.join(self.work, f"grab-{self.shots}.png")
        subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", path], check=True)
        return path

    def save(self, path):
        subprocess.run(["import", "-window", "root", path], check=True)

    def keep(self, name, window):
        """With --shots, the window as it is now, for the user guide."""
        if self.shots_dir:
            os.replace(self.grab(extents(window)), os.path.join(self.shots_dir, name))

    def outside(self, dialog):
        """Showing controls of the dialog that do not lie wholly on the screen."""
        bad = []
        for control in [dialog] + [c for c in children(dialog) if showing(c)]:
            x, y, w, h = extents(control)
            if w <= 0 or h <= 0 or x < 0 or y < 0 or x + w > self.width or y + h > self.height:
                bad.append(f"{control.getRoleName()} {control.name!r} at {x},{y} {w}x{h}")
        return bad

    def check_inside(self, dialog):
        bad = self.outside(dialog)
        if bad:
            raise Failure(f"{dialog.name!r}: controls off the {self.width}x{self.height} screen: " + "; ".join(bad))


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def double_click(node):
    x, y, w, h = extents(node)
    xdotool("mousemove", "--sync", str(x + w // 2), str(y + h // 2))
    xdotool("click", "--repeat", "2", "--delay", "80", "1")


def activate(program, dialog):
    """Gives the dialog's window the keyboard, as clicking its title would
    under a window manager (Xvfb has none). The X window is the program's
    visible one that covers the dialog's extents (titles may not be Latin)."""
    want = extents(dialog)
    listed = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(program.process.pid), "."],
                            capture_output=True, text=True).stdout.split()
    for window_id in listed:
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window_id], capture_output=True,
                               text=True).stdout
        geometry = dict(line.split("=", 1) for line in shell.split())
        if tuple(int(geometry.get(key, -1)) for key in ("X", "Y", "WIDTH", "HEIGHT")) == want:
            xdotool("windowfocus", "--sync", window_id)
            return
    raise Failure(f"no X window of the program at {want} for {dialog.name!r}")


def focus(program, dialog, node):
    """Moves the keyboard focus to the control, as Tab would."""
    activate(program, dialog)
    node.queryComponent().grabFocus()
    wait_for(f"focus in {node.name!r}", lambda: node.getState().contains(pyatspi.STATE_FOCUSED), 10)


def toggle(program, dialog, box):
    """Space on the focused check box: the way a keyboard user ticks it (the
    box's own Toggle action flips it without the click the dialog acts on)."""
    was = box.getState().contains(pyatspi.STATE_CHECKED)
    focus(program, dialog, box)
    xdotool("key", "space")
    wait_for(f"{box.name!r} {'un' if was else ''}ticked",
             lambda: box.getState().contains(pyatspi.STATE_CHECKED) != was, 10)


def type_into(program, dialog, node, text):
    """Focuses the field and types on the keyboard, over what it held."""
    focus(program, dialog, node)
    xdotool("key", "ctrl+a")
    xdotool("type", "--delay", "40", text)
    wait_for(f"{text!r} in {node.name!r}", lambda: text_of(node) == text, 10)


# ---------------------------------------------------------------- program


class Program:
    """One run of tervane, found on the accessibility bus. As a context, it
    keeps the screen as it was when something failed, and ends the program."""

    def __init__(self, binary, args, work, env, screen):
        self.failure_shot = os.path.join(work, "failure.png")
        self.screen = screen
        self.log = open(os.path.join(work, "tervane.log"), "ab")
        self.process = subprocess.Popen([binary, *args], cwd=work, env=env, stdout=self.log, stderr=self.log)
        self.app = wait_for("tervane on the accessibility bus", self._find_app, 60)
        # Read every property afresh: the dialogs change all the time.
        self.app.set_cache_mask(Atspi.Cache.NONE)

    def _find_app(self):
        if self.process.poll() is not None:
            raise Failure(f"tervane ended early with {self.process.returncode}")
        for app in children(pyatspi.Registry.getDesktop(0)):
            if app.name == "tervane" and app.get_process_id() == self.process.pid:
                return app
        return None

    def __enter__(self):
        return self

    def __exit__(self, kind, error, trace):
        if kind is not None:
            self.screen.save(self.failure_shot)
        self.kill()

    def finish(self, timeout_s=60):
        try:
            code = self.process.wait(timeout_s)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("tervane did not end after its last window closed")
        if code != 0:
            raise Failure(f"tervane ended with {code}")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def close_with_escape(program, dialog):
    """Escape closes a dialog, as a keyboard user does it."""
    name = dialog.name
    focus(program, dialog, next(c for c in children(dialog) if c.getRoleName() == "push button" and showing(c)
               and c.getState().contains(pyatspi.STATE_ENABLED)))
    xdotool("key", "Escape")
    window_gone(program.app, dialog, name)


# ------------------------------------------------------------------ batch


def table_rows(table):
    grid = table.queryTable()
    return [[grid.getAccessibleAt(row, column).name for column in range(grid.nColumns)] for row in range(grid.nRows)]


def column_of(table, header):
    grid = table.queryTable()
    for column in range(grid.nColumns):
        if grid.getColumnDescription(column) == header:
            return column
    raise Failure(f"no column {header!r} in {table.name!r}")


def final_prompt(app, text):
    """The message box that shows text, with its button."""
    for box in children(app):
        if box.getRoleName() in ("alert", "dialog") and showing(box):
            try:
                find_deep(box, "label", text, depth=2)
            except LookupError:
                continue
            return box
    return None


def run_batch(args, screen, texts, env):
    step("launcher -> batch dialog")
    with Program(args.tervane, [], args.work, env, screen) as program:
        launcher = window(program.app, texts["IDS_CUSTOM_TOOL"])
        screen.check_inside(launcher)
        screen.keep("launcher.png", launcher)
        press(find(launcher, "push button", texts["IDS_TERVANE"]))
        dialog = window(program.app, texts["IDS_TERVANE"])
        screen.check_inside(dialog)

        table = find(dialog, "table", texts["IDS_DEVICE_LIST"])
        # The ONVIF cameras are listed too, once their login told their version.
        listed = args.cameras + args.onvif
        version = column_of(table, "Version")
        wait_for(f"{listed} cameras in the list", lambda: len(table_rows(table)) == listed and all(
            row[version] for row in table_rows(table)), 120)
        step("select all, firmware, Upgrade")
        press(find(dialog, "push button", texts["IDS_SELECT_ALL"]))
        grid = table.queryTable()
        wait_for("every row ticked", lambda: all(
            grid.getAccessibleAt(row, 0).getState().contains(pyatspi.STATE_CHECKED) for row in range(grid.nRows)), 10)
        choose_firmware(program, dialog, texts, args.firmware)
        press(find(dialog, "push button", texts["IDS_START_UPGRADE"]))
        status = column_of(table, texts["IDS_PROMPT"])
        wait_for("the first camera rebooting", lambda: any(
            row[status] == texts["IDS_WAIT_REBOOT"] for row in table_rows(table)), 120)
        screen.keep("batch-running.png", dialog)

        prompt = wait_for("the final prompt", lambda: final_prompt(program.app, texts["IDS_ALL_FINISH"]), 600)
        firmware_mark = column_of(table, "2")
        rows = table_rows(table)
        failed = [row for row in rows if row[status] != texts["IDS_UPGRADE_OK"] or row[firmware_mark] != "√"]
        if failed:
            raise Failure(f"rows not upgraded: {failed}")
        step(f"all {len(rows)} cameras upgraded; the prompt says {texts['IDS_ALL_FINISH']!r}")
        press(find_deep(prompt, "push button", depth=2))
        window_gone(program.app, prompt, "the final prompt")
        wait_for("the upgrade button back", lambda: find(dialog, "push button", texts["IDS_START_UPGRADE"])
                 .getState().contains(pyatspi.STATE_ENABLED), 30)
        screen.check_inside(dialog)
        screen.keep("batch-finished.png", dialog)

        run_plan(program, dialog, table, args, screen, texts)
        screen.check_inside(dialog)

        close_with_escape(program, dialog)
        close_with_escape(program, launcher)
        program.finish()


def file_dialog_path(program, dialog, texts, path):
    """In the file dialog the dialog opened: the path typed over the name field's text, Enter."""
    chooser = wait_for("the file dialog", lambda: next(
        (w for w in children(program.app) if showing(w) and w.getRoleName() in ("dialog", "file chooser")
         and w != dialog and w.name != texts["IDS_CUSTOM_TOOL"]), None), 30)
    name_field = wait_for("the file name field", lambda: next(
        (c for c in children(chooser) if c.getRoleName() == "text" and c.getState().contains(pyatspi.STATE_FOCUSED)),
        None), 30)
    focus(program, chooser, name_field)
    xdotool("key", "ctrl+a", "BackSpace")  # a save dialog starts with a name of its own
    type_into(program, chooser, name_field, path)
    xdotool("key", "Return")
    window_gone(program.app, chooser, "the file dialog")


def choose_firmware(program, dialog, texts, firmware):
    """Browse..., the file's name typed into the file dialog, Enter."""
    press(find(dialog, "push button", texts["IDS_BROWSE"]))
    file_dialog_path(program, dialog, texts, firmware)
    path_field = find(dialog, "text", texts["IDS_UPGRADE_VERSON"])
    wait_for("the firmware path in its field", lambda: text_of(path_field) == firmware, 10)


# Two of the demo cameras move to spare addresses of the LAN; every camera
# gets its own UID.
PLANNED_ADDRESSES = ["10.77.0.201", "10.77.0.202"]


def planned_uid(mac):
    return "site-" + mac.replace(":", "").lower()


def run_plan(program, dialog, table, args, screen, texts):
    """Load plan... -> the planned columns; Export list... -> the file; Set runs the plan.
    The plan names the native cameras (an ONVIF camera takes no UID): the
    ONVIF rows are left unticked and untouched."""
    bid = column_of(table, "BID")
    native_rows = lambda: [row for row in table_rows(table) if not row[bid].startswith("ONVIF ")]  # noqa: E731
    macs = [row[column_of(table, "MAC")] for row in native_rows()]
    plan = os.path.join(args.work, "site.csv")
    with open(plan, "w", encoding="utf-8", newline="") as file:
        file.write("\ufeffmac,ip,uid,notes\r\n")
        for index, mac in enumerate(macs):
            address = PLANNED_ADDRESSES[index] if index < len(PLANNED_ADDRESSES) else ""
            file.write(f"{mac.replace(':', '-').lower()},{address},{planned_uid(mac)},\"pole {index + 1}\"\r\n")
    step(f"Load plan... with {len(macs)} cameras")
    press(find(dialog, "push button", texts["IDS_LOAD_PLAN"]))
    file_dialog_path(program, dialog, texts, plan)
    planned_ip = column_of(table, texts["IDS_PLANNED_IP"])
    planned_uid_column = column_of(table, texts["IDS_PLANNED_UID"])
    mac_column = column_of(table, "MAC")

    def planned_address(mac):
        index = macs.index(mac)
        return PLANNED_ADDRESSES[index] if index < len(PLANNED_ADDRESSES) else ""

    wait_for("every row showing its planned values", lambda: all(
        row[planned_uid_column] == planned_uid(row[mac_column]) and row[planned_ip] == planned_address(row[mac_column])
        for row in native_rows()), 10)
    screen.keep("batch-plan.png", dialog)

    step("Export list...")
    exported = os.path.join(args.work, "exported-list.csv")
    press(find(dialog, "push button", texts["IDS_EXPORT_LIST"]))
    file_dialog_path(program, dialog, texts, exported)
    lines = wait_for("the exported list", lambda: os.path.exists(exported) and
                     open(exported, encoding="utf-8-sig").read().splitlines(), 10)
    if lines[0] != "mac,ip,mask,gateway,dhcp,uid,version,board,protocol" or len(lines) != len(table_rows(table)) + 1:
        raise Failure(f"the exported list reads {lines[:3]}... ({len(lines)} lines)")
    for mac in macs:
        if not any(line.startswith(mac + ",") and f",{planned_uid(mac)},{args.version}," in line for line in lines):
            raise Failure(f"the exported list lacks {mac} with its UID and version: {lines}")

    step("the network Set runs the plan")
    press(find(dialog, "push button", texts["IDS_SET"]))
    prompt = wait_for("the final prompt", lambda: final_prompt(program.app, texts["IDS_ALL_FINISH"]), 300)
    command = column_of(table, "4")
    network = column_of(table, "1")
    for row in native_rows():
        moved = planned_address(row[mac_column]) != ""
        if row[command] != "√" or row[network] != ("√" if moved else "—"):
            raise Failure(f"after the plan's job: {row}")
    press(find_deep(prompt, "push button", depth=2))
    window_gone(program.app, prompt, "the final prompt")
    step(f"every camera took its UID, {len(PLANNED_ADDRESSES)} their addresses")


# ------------------------------------------------------------------ bench


def label_after(dialog, caption):
    """The value label placed after its caption label."""
    siblings = children(dialog)
    for index, node in enumerate(siblings[:-1]):
        if node.getRoleName() == "label" and node.name == caption:
            return siblings[index + 1]
    raise Failure(f"no label {caption!r}")


def picture_changes(screen, area, timeout_s):
    first = open(screen.grab(extents(area)), "rb").read()
    return wait_for("the live picture to change",
                    lambda: open(screen.grab(extents(area)), "rb").read() != first, timeout_s)


def qr_text(screen, area):
    image = screen.grab(extents(area))
    result = subprocess.run(["zbarimg", "--raw", "-q", image], capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else None


def expected_record(mac, version, result, board_id="0x20", board_name="SIMBOARD", onvif_model=None):
    lines = [
        "{",
        f'"mac":"{mac}",',
        f'"board_id":"{board_id}",',
        f'"board_name":"{board_name}",',
        f'"software_version":"{version}",',
    ]
    if onvif_model is None:
        lines.append(f'"result":"{result}"')
    else:
        lines += [f'"result":"{result}",', '"protocol":"onvif",', f'"model":"{onvif_model}"']
    return ("\n\r".join(lines) + "\n\r}").encode()


class CameraState:
    """The simulator's state dump, written afresh on SIGUSR1 to its pid."""

    def __init__(self, path, pid):
        self.path, self.pid = path, pid

    def camera(self, mac):
        before = os.stat(self.path).st_mtime_ns if os.path.exists(self.path) else 0
        os.kill(self.pid, signal.SIGUSR1)
        wait_for("a fresh state dump", lambda: os.path.exists(self.path) and os.stat(self.path).st_mtime_ns != before, 10)

        def parsed():
            try:
                with open(self.path) as file:
                    return json.load(file)
            except ValueError:  # still being written
                return None

        cameras = wait_for("a whole state dump", parsed, 10)["cameras"]
        return next(c for c in cameras if c["mac"] == mac)


def hold(node):
    """A mouse button held down on the control, as a finger on an arrow key."""
    x, y, w, h = extents(node)
    xdotool("mousemove", "--sync", str(x + w // 2), str(y + h // 2))
    xdotool("mousedown", "1")


def bench_row(table, onvif):
    """The first row of the kind: ONVIF cameras show "ONVIF <model>" as BID."""
    for index, row in enumerate(table_rows(table)):
        if row[4].startswith("ONVIF") == onvif:
            return index, row
    return None


def bring_up(dialog, table, texts, index):
    double_click(table.queryTable().getAccessibleAt(index, 1))
    results = find(dialog, "list", texts["IDS_AUTO_TEST_ITEM"])
    wait_for("the live video line",
             lambda: any(i.name.startswith(texts["IDS_LIVE_NORMAL"]) for i in children(results)), 60)
    return [item.name for item in children(results)]


def run_bench(args, screen, texts, env):
    step("test bench")
    with Program(args.tervane, ["--factory-test"], args.work, env, screen) as program:
        dialog = window(program.app, texts["IDS_IPC_TEST"])
        screen.check_inside(dialog)
        table = find(dialog, "table", texts["IDS_DEVICE_LIST"], shown=False)
        wait_for("cameras in the bench's list", lambda: len(table_rows(table)) > 0, 120)

        step("untick auto show, type the version, double-click the first camera")
        toggle(program, dialog, find(dialog, "check box", texts["IDS_AUTO_SHOW"]))
        wait_for("the list usable", lambda: table.getState().contains(pyatspi.STATE_ENABLED), 10)
        type_into(program, dialog, find(dialog, "text", texts["IDS_VERSION_CHECK"]), args.version)
        index, row = wait_for("a native camera in the list", lambda: bench_row(table, False), 60)
        mac = row[1]
        lines = bring_up(dialog, table, texts, index)
        if texts["IDS_VERSION_NORMAL"] not in lines:
            raise Failure(f"no version line among {lines}")
        video = wait_for("the video area", lambda: next(
            (c for c in children(dialog) if c.name == texts["IDS_LIVE_VIDEO"] and showing(c)), None), 30)
        picture_changes(screen, video, 30)
        step(f"logged in to {mac}: {lines}; the live picture changes")

        uid = label_after(dialog, "APP UID:").name
        qr_area = next(c for c in children(dialog) if c.name == "APP QRCode:" and c.getRoleName() != "label")
        decoded = wait_for("a QR code zbarimg reads", lambda: qr_text(screen, qr_area), 30)
        if decoded != uid:
            raise Failure(f"the QR code reads {decoded!r}, the UID is {uid!r}")
        step(f"the QR code reads the UID {uid}")
        screen.check_inside(dialog)
        screen.keep("bench-logged-in.png", dialog)

        press(find(dialog, "push button", "PASS"))
        record = os.path.join(args.work, "test_record", mac.replace(":", "-") + ".txt")
        wait_for(f"the record {record}", lambda: os.path.exists(record), 10)
        want = expected_record(mac, args.version, "PASS")
        wait_for("the whole record", lambda: open(record, "rb").read() == want, 10)
        step(f"PASS wrote {record} ({len(want)} bytes)")

        run_onvif_bench(args, screen, texts, program, dialog, table, video, qr_area)
        close_with_escape(program, dialog)
        program.finish()


def run_onvif_bench(args, screen, texts, program, dialog, table, video, qr_area):
    step("the ONVIF camera of the same list")
    state = CameraState(args.state_dump, args.sim_pid)
    index, row = wait_for("an ONVIF camera in the list", lambda: bench_row(table, True), 60)
    mac, version, model = row[1], row[3], row[4][len("ONVIF "):]
    type_into(program, dialog, find(dialog, "text", texts["IDS_VERSION_CHECK"]), version)
    lines = bring_up(dialog, table, texts, index)
    for key in ("IDS_VERSION_NORMAL", "IDS_SUPPORT_PTZ", "IDS_SUPPORT_ZOOM", "IDS_SUPPORT_IRCUT"):
        if texts[key] not in lines:
            raise Failure(f"no {key} line among {lines}")
    picture_changes(screen, video, 30)
    step(f"logged in to ONVIF camera {mac}: {lines}; the live picture changes")

    serial = "SIM" + mac.replace(":", "")
    uid = label_after(dialog, "APP UID:").name
    decoded = wait_for("a QR code zbarimg reads", lambda: qr_text(screen, qr_area), 30)
    if uid != serial or decoded != serial:
        raise Failure(f"UID {uid!r} and QR {decoded!r}, the serial number is {serial!r}")
    step(f"the UID and the QR code read the serial number {serial}")
    screen.check_inside(dialog)
    screen.keep("bench-onvif.png", dialog)

    hold(find(dialog, "push button", "UP"))
    moving = wait_for("the camera moving up", lambda: (lambda p: p if p["moving"] else None)(
        state.camera(mac)["onvif"]["ptz"]), 10)
    xdotool("mouseup", "1")
    stopped = wait_for("the camera stopped", lambda: (lambda p: p if not p["moving"] else None)(
        state.camera(mac)["onvif"]["ptz"]), 10)
    ops = [request["op"] for request in stopped["requests"]]
    if ops[-2:] != ["ContinuousMove", "Stop"] or moving["velocity"]["tilt"] <= 0:
        raise Failure(f"the arrow sent {stopped['requests']}")
    step(f"UP held: the camera moved (tilt velocity {moving['velocity']['tilt']}), released: it stopped")

    press(find(dialog, "push button", texts["IDS_IRCUT_CLOSE"]))
    press(find(dialog, "push button", texts["IDS_IRCUT_OPEN"]))
    imaging = wait_for("both IR-cut settings at the camera", lambda: (lambda i: i if i["sets"] >= 2 else None)(
        state.camera(mac)["onvif"]["imaging"]), 10)
    if imaging["requests"][-2:] != ["ON", "OFF"]:
        raise Failure(f"the IR-cut buttons set {imaging['requests']}")
    step(f"IR-cut close and open set the filter {imaging['requests'][-2:]}")

    press(find(dialog, "push button", "PASS"))
    record = os.path.join(args.work, "test_record", mac.replace(":", "-") + ".txt")
    want = expected_record(mac, version, "PASS", board_id="0x0", board_name="0x20", onvif_model=model)
    wait_for(f"the record {record}", lambda: os.path.exists(record) and open(record, "rb").read() == want, 10)
    step(f"PASS wrote {record} with protocol and model ({len(want)} bytes)")


# ------------------------------------------------------------------- main


def seed_login(work):
    """The batch dialog logs in with the stored user name and password."""
    folder = os.path.join(work, "config", "vesmira")
    os.makedirs(folder, mode=0o700, exist_ok=True)
    path = os.path.join(folder, "velquist.conf")
    with open(path, "w") as file:
        file.write("[General]\nuser=Admin\npass=tovik\n")
    os.chmod(path, 0o600)
    return os.path.join(work, "config")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tervane", required=True, help="the program")
    parser.add_argument("--lang-dir", required=True, help="where vesmira_en.ini and the others lie")
    parser.add_argument("--work", required=True, help="working directory (logo.bmp, records, logs)")
    parser.add_argument("--firmware", required=True, help="the firmware file to upgrade to")
    parser.add_argument("--version", required=True, help="its version, typed into the bench")
    parser.add_argument("--cameras", type=int, required=True, help="how many native cameras the LAN holds")
    parser.add_argument("--onvif", type=int, default=0, help="how many ONVIF cameras beside them")
    parser.add_argument("--screen", default="1366x768")
    parser.add_argument("--shots", help="also save screenshots of the finished job and the bench here")
    parser.add_argument("--state-dump", required=True, help="where the simulator writes its state on SIGUSR1")
    parser.add_argument("--sim-pid", type=int, default=int(os.environ.get("SIM_LAN_SIM_PID", "0")),
                        help="the simulator's process (default: scripts/sim-lan.sh's SIM_LAN_SIM_PID)")
    args = parser.parse_args()

    width, height = (int(n) for n in args.screen.split("x"))
    screen = Screen(width, height, tempfile.mkdtemp(prefix="grabs-", dir=args.work), args.shots)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_CONFIG_HOME=seed_login(args.work))
    # The launcher and the batch dialog speak the default file; the bench the locale's.
    batch_texts = Texts(os.path.join(args.lang_dir, "vesmira_en.ini"))
    chinese = os.environ.get("LANG", "").startswith("zh")
    bench_texts = Texts(os.path.join(args.lang_dir, "vesmira_cn.ini" if chinese else "vesmira_en.ini"))
    try:
        run_batch(args, screen, batch_texts, env)
        run_bench(args, screen, bench_texts, env)
    except Failure as failure:
        print(f"display test: FAILED: {failure} (the screen then: {args.work}/failure.png)", file=sys.stderr)
        return 1
    step("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
