#!/usr/bin/python3
"""Drives the real tervane's batch dialog on a LAN of native and ONVIF
cameras, the way a person and assistive technology meet it.

The scenario: launcher -> batch dialog: both kinds listed (the ONVIF rows
with their model and firmware version, read with the stored login); Add by
address asks a listed camera again (no message, no second row); select all,
the firmware file through the real file dialog, the upgrade and time-zone
boxes ticked on the keyboard, Start: every row upgraded, the final prompt.
Before and after, every visible control of the dialog lies on the screen.
The caller checks the cameras' own state (both kinds flashed, UTC+08:00).
Controls are found as drive_tervane.py finds them (role and accessible name).
"""

import argparse
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import drive_tervane as dt  # noqa: E402  (the shared AT-SPI helpers)
import pyatspi  # noqa: E402


def onvif_rows(rows, bid):
    return [row for row in rows if row[bid].startswith("ONVIF ")]


def run(args, screen, texts, env):
    dt.step("launcher -> batch dialog")
    with dt.Program(args.tervane, [], args.work, env, screen) as program:
        launcher = dt.window(program.app, texts["IDS_CUSTOM_TOOL"])
        dt.press(dt.find(launcher, "push button", texts["IDS_TERVANE"]))
        dialog = dt.window(program.app, texts["IDS_TERVANE"])
        screen.check_inside(dialog)

        table = dt.find(dialog, "table", texts["IDS_DEVICE_LIST"])
        bid, version = dt.column_of(table, "BID"), dt.column_of(table, "Version")
        total = args.native + args.onvif
        dt.wait_for(f"{args.native} native and {args.onvif} ONVIF cameras listed with their version", lambda: (
            len(dt.table_rows(table)) == total and len(onvif_rows(dt.table_rows(table), bid)) == args.onvif
            and all(row[version] for row in dt.table_rows(table))), 120)
        dt.step(f"listed: {[(row[1], row[bid], row[version]) for row in dt.table_rows(table)]}")

        dt.step("Add by address: a listed camera asked again")
        add_button = dt.find(dialog, "push button", texts["IDS_ADD_BY_ADDRESS"])
        dt.type_into(program, dialog, dt.find(dialog, "text", texts["IDS_ADD_BY_ADDRESS"]), args.ask)
        dt.press(add_button)
        time.sleep(2)
        if dt.final_prompt(program.app, texts["IDS_INVALID_ADDRESSES"]) or len(dt.table_rows(table)) != total:
            raise dt.Failure(f"Add by address {args.ask}: a message or another row ({len(dt.table_rows(table))} rows)")

        dt.step("select all, firmware, upgrade + time zone, Start")
        dt.press(dt.find(dialog, "push button", texts["IDS_SELECT_ALL"]))
        grid = table.queryTable()
        dt.wait_for("every row ticked", lambda: all(
            grid.getAccessibleAt(row, 0).getState().contains(pyatspi.STATE_CHECKED) for row in range(grid.nRows)), 10)
        dt.choose_firmware(program, dialog, texts, args.firmware)
        for caption in ("IDS_UPGRADE_VERSON", "IDS_TIME_ZONE"):
            dt.toggle(program, dialog, dt.find(dialog, "check box", texts[caption]))
        # The time-zone combo keeps its default, UTC:+08:00; the cameras tell what they took.
        screen.check_inside(dialog)
        dt.press(dt.find(dialog, "push button", texts["IDS_START"]))
        prompt = dt.wait_for("the final prompt", lambda: dt.final_prompt(program.app, texts["IDS_ALL_FINISH"]), 600)
        screen.keep("batch-onvif.png", dialog)
        status, mark = dt.column_of(table, texts["IDS_PROMPT"]), dt.column_of(table, "2")
        rows = dt.table_rows(table)
        failed = [row for row in rows if row[mark] != "√" or row[version] != args.version]
        if failed:
            raise dt.Failure(f"rows not upgraded: {failed}")
        dt.step(f"all {len(rows)} rows upgraded to {args.version}: {[row[status] for row in rows]}")
        dt.press(dt.find_deep(prompt, "push button", depth=2))
        dt.window_gone(program.app, prompt, "the final prompt")
        screen.check_inside(dialog)
        dt.close_with_escape(program, dialog)
        dt.close_with_escape(program, launcher)
        program.finish()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tervane", required=True)
    parser.add_argument("--lang-dir", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--firmware", required=True)
    parser.add_argument("--version", required=True, help="the firmware file's version")
    parser.add_argument("--native", type=int, required=True)
    parser.add_argument("--onvif", type=int, required=True)
    parser.add_argument("--ask", required=True, help="an address to ask with Add by address")
    parser.add_argument("--screen", default="1366x768")
    parser.add_argument("--shots", help="save the finished job's screenshot here")
    args = parser.parse_args()

    width, height = (int(n) for n in args.screen.split("x"))
    screen = dt.Screen(width, height, tempfile.mkdtemp(prefix="grabs-", dir=args.work), args.shots)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_CONFIG_HOME=dt.seed_login(args.work))
    texts = dt.Texts(os.path.join(args.lang_dir, "vesmira_en.ini"))  # the batch dialog speaks the default file
    try:
        run(args, screen, texts, env)
    except dt.Failure as failure:
        print(f"display test: FAILED: {failure} (the screen then: {args.work}/failure.png)", file=sys.stderr)
        return 1
    dt.step("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
