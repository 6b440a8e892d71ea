#!/usr/bin/python3
# Prints the accessibility tree (AT-SPI, what Orca reads) of the running TAVRO, one line per
# object: depth, role, name, value and state; then checks what a screen reader needs and ends
# with 1 when a check fails. Run it on the same session bus and display as TAVRO, with
# at-spi2-registryd running and TAVRO started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
#
#   scripts/atspi-tree.py [--wait SECONDS]
#
# The pages of the window's tab controls are all in the tree, shown or not, so one walk sees
# every control. Needs python3-gi and gir1.2-atspi-2.0 (scripts/install-deps.sh).
import re
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

INTERNAL = ("PicPath", "FileName", "AlbumName")
LIBRARY_LINE = re.compile(r",\d\d:\d\d,\d+,")


def find_app(deadline):
    while True:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and (app.get_name() or "").lower().startswith("tavro"):
                if app.get_child_count() > 0:
                    return app
        if time.monotonic() > deadline:
            return None
        time.sleep(0.2)


def value_of(node):
    """(minimum, current, maximum) of an object with a value; None for one without."""
    if "Value" not in node.get_interfaces():
        return None
    return (Atspi.Value.get_minimum_value(node), Atspi.Value.get_current_value(node),
            Atspi.Value.get_maximum_value(node))


def walk(node, depth, rows, seen):
    if node is None or depth > 40:
        return
    key = node.get_path() if hasattr(node, "get_path") else id(node)
    if key in seen:
        return
    seen.add(key)
    role = node.get_role_name()
    name = node.get_name() or ""
    states = node.get_state_set()
    rows.append({
        "depth": depth,
        "role": role,
        "name": name,
        "value": value_of(node),
        "focusable": states.contains(Atspi.StateType.FOCUSABLE),
        "showing": states.contains(Atspi.StateType.SHOWING),
        "node": node,
    })
    for i in range(min(node.get_child_count(), 500)):
        walk(node.get_child_at_index(i), depth + 1, rows, seen)


def main():
    wait = 20.0
    if "--wait" in sys.argv:
        wait = float(sys.argv[sys.argv.index("--wait") + 1])
    app = find_app(time.monotonic() + wait)
    if app is None:
        print("atspi-tree: no TAVRO on the accessibility bus", file=sys.stderr)
        return 2
    all_rows = []
    seen = set()
    walk(app, 0, all_rows, seen)
    unique = {}
    for r in all_rows:
        unique.setdefault((r["depth"], r["role"], r["name"]), r)
    for r in unique.values():
        value = "" if r["value"] is None else " value=%g [%g..%g]" % (
            r["value"][1], r["value"][0], r["value"][2])
        print("%s%s %r%s%s" % ("  " * r["depth"], r["role"], r["name"], value,
                               " focusable" if r["focusable"] else ""))

    failures = []
    group_names = {r["name"] for r in all_rows
                   if r["role"] in ("panel", "filler") and r["name"]}
    for r in all_rows:
        if r["role"] in ("push button", "button"):
            if not r["name"].strip():
                failures.append("unnamed button")
            elif r["name"] in group_names:
                failures.append("button named after its group: %r" % r["name"])
        for word in INTERNAL:
            if word in r["name"]:
                failures.append("internal column read out: %r" % r["name"])
        if LIBRARY_LINE.search(r["name"]):
            failures.append("library line read out: %r" % r["name"])
    # The checks that follow read every object, not only the first of each name printed above.
    progress = [r for r in all_rows if r["role"] == "progress bar"]
    if not any(r["name"] and r["value"] is not None for r in progress):
        failures.append("no named progress bar with a value")
    volume = [r for r in all_rows if r["role"] in ("slider", "scroll bar") and r["value"]
              and r["name"]]
    if not any(r["value"][1] >= 0 and r["value"][0] >= 0 for r in volume):
        failures.append("no named volume with a value of 0 or more")
    # The colour choices: the buttons of the Colors box, each named by the label of its row.
    labels = {r["name"] for r in all_rows if r["role"] == "label"}
    colours = [r for r in all_rows
               if r["role"] == "push button" and r["name"] in labels]
    if len(colours) < 8 or not all(r["focusable"] for r in colours):
        failures.append("colour choices not all reachable by keyboard (%d found)" % len(colours))
    for f in sorted(set(failures)):
        print("FAIL: " + f)
    print("atspi-tree: %d objects, %d failures" % (len(all_rows), len(set(failures))))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
