"""Drives an installed program through the accessibility bus, as an operator would, for
scripts/package-test.sh.

  package-drive.py spanmon PORT    choose "USB/soft RS232", pick PORT, press "Search PoE" and wait
                                   until the found-device list names a midspan on PORT; press
                                   "History..." and wait for the power chart (its module is loaded then)
  package-drive.py ethfind COUNT   wait until Ethfind lists COUNT modules

Prints what the program showed; the exit status is 0 when it showed what was expected."""
import sys
import time

import pyatspi

TIMEOUT = 30


def wait_for(what, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = what()
        if found:
            return found
        time.sleep(0.2)
    return None


def application(name):
    def find():
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name:
                return app
        return None
    return wait_for(find)


def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield child
            yield from descendants(child)


def control(app, role, name=None, test=None):
    def matches(node):
        return (node.getRoleName() == role and (name is None or node.name == name)
                and (test is None or test(node)))
    return wait_for(lambda: next((n for n in descendants(app) if matches(n)), None))


def items(node):
    return [n.name for n in descendants(node) if n.getRoleName() in ("list item", "menu item")]


def click(node):
    x, y, width, height = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "b1c")
    time.sleep(0.3)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def choose(app, entry):
    """Picks an entry of the drop-down list that offers it with mouse clicks, as an operator would (the
    program then sees the operator's choice)."""
    combo = control(app, "combo box", test=lambda node: entry in items(node))
    if combo is None:
        raise RuntimeError(f"no drop-down list offers {entry!r}")
    click(combo)
    item = wait_for(lambda: next((n for n in descendants(combo) if n.name == entry and showing(n)), None))
    if item is None:
        raise RuntimeError(f"the drop-down list did not open to show {entry!r}")
    click(item)


def spanmon(port):
    app = application("Spanmon")
    if app is None:
        print("Spanmon did not appear on the accessibility bus", file=sys.stderr)
        return 1
    choose(app, "USB/soft RS232")
    choose(app, port)
    button = control(app, "push button", "Search PoE")
    button.queryAction().doAction(0)
    found = control(app, "list", "Found devices")
    entry = wait_for(lambda: next((i for i in items(found) if i.startswith(port + " *** ")), None))
    print("Spanmon found:", entry or items(found))
    control(app, "push button", "Power History").queryAction().doAction(0)
    chart = wait_for(lambda: next((n for n in descendants(app) if n.name == "Power chart"), None))
    print("Spanmon's History window:", "drawn" if chart else "not opened")
    return 0 if entry and chart else 1


def ethfind(count):
    app = application("Ethfind")
    if app is None:
        print("Ethfind did not appear on the accessibility bus", file=sys.stderr)
        return 1
    found = control(app, "list")
    lines = wait_for(lambda: items(found) if len(items(found)) >= count else None)
    print("Ethfind lists:", *(lines or items(found)), sep="\n  ")
    return 0 if lines and len(lines) == count else 1


if __name__ == "__main__":
    program, argument = sys.argv[1], sys.argv[2]
    sys.exit(spanmon(argument) if program == "spanmon" else ethfind(int(argument)))
