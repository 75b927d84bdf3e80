"""Prints what a screen reader finds in a running program through the accessibility bus, and
fails when a button, tick box, field, spin box, menu entry or lamp has no name, an enabled button
cannot be pressed, a field (such as a value cell) or spin box does not let a reader have the value
it shows, or a control Spanmon must offer is missing (EXPECTED, by the window looked at).
Arguments: the program's name, then steps one after the other, each followed by another look:
  NAME          press the button NAME; the window it opens is looked at
  click:NAME    press the button NAME, which opens no window; the main window is looked at
  choose:LIST   click the first entry of the list LIST; the main window is looked at once the
                program shows a value in its "Total Power" field (when it has one)
  menu:NAME     focus the control NAME and open its context menu with the menu key; the menu is
                looked at, then closed with Escape
  menu:NAME>ITEM  open the menu so and choose its entry ITEM; the window it opens is looked at"""
import sys
import time

import pyatspi
from gi.repository import GLib

NAMED_ROLES = {"push button", "check box", "text", "password text", "image", "combo box", "list", "progress bar",
               "page tab", "spin button", "menu item"}
TEXT_ROLES = {"text", "password text"}
VALUE_ROLES = {"spin button"}

# Controls that must be found, by role and name (or the label a reader speaks with them): in the
# main window, and in what a step shows.
EXPECTED = {
    "Spanmon": [("text", "Total Power"), ("push button", "Power History"), ("push button", "Power-cycle...")],
    "Power History": [("list", "Ports drawn"), ("list item", "Port 1"), ("list item", "Port 24"), ("combo box", "Show"),
                      ("push button", "Export CSV...")],
    "choose:Found devices": [("text", "Total Power"), ("push button", "Power-cycle...")],
    "menu:Port 3 status": [("menu item", "Power-cycle port 3"), ("menu item", "Power history of port 3")],
    "menu:Port 3 status>Power-cycle port 3": [("check box", "Port 3"), ("spin button", "Off time"),
                                              ("push button", "OK")],
    "Power-cycle...": [("check box", "Port 3"), ("spin button", "Off time"), ("push button", "OK"),
                       ("push button", "Cancel")],
}
# Controls that must also be enabled after a step, by role and name.
ENABLED = {
    "choose:Found devices": [("push button", "Power-cycle...")],
    "menu:Port 3 status": [("menu item", "Power-cycle port 3"), ("menu item", "Power history of port 3")],
    # Port 3 ticked from its lamp's menu lets OK go.
    "menu:Port 3 status>Power-cycle port 3": [("check box", "Port 3"), ("spin button", "Off time"),
                                              ("push button", "OK")],
    "Power-cycle...": [("check box", "Port 3"), ("spin button", "Off time")],
}
MENU_KEY = 0xFF67
ESCAPE_KEY = 0xFF1B


def find_application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for _ in range(100):
        for app in desktop:
            if app is not None and app.name == name:
                return app
        time.sleep(0.1)
    return None


def shown_value(node):
    """A spin box's value, as a reader has it; None when it cannot."""
    try:
        return node.queryValue().currentValue
    except NotImplementedError:
        return None


def shown_text(node):
    """What a field shows, through its text interface; None when a reader cannot have it."""
    try:
        text = node.queryText()
    except NotImplementedError:
        return None
    return text.getText(0, text.characterCount)


def labelled_by(node):
    """The names of the labels a reader speaks with the node (Qt names a combo box by its text
    and speaks the label it is the buddy of)."""
    labels = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            labels += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return labels


def walk(node, depth, problems, seen):
    role, name, description = node.getRoleName(), node.name, node.description
    states = node.getState()
    try:
        action = node.queryAction()
        actions = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        actions = []
    labels = labelled_by(node)
    shown = shown_text(node) if role in TEXT_ROLES else shown_value(node) if role in VALUE_ROLES else None
    value = f" = {shown!r}" if shown is not None else ""
    if role not in ("filler", "panel") or name:
        extra = f" ({description})" if description else ""
        extra += "".join(f" [labelled {label!r}]" for label in labels)
        print(f"{'  ' * min(depth, 8)}{role}: {name!r}{value}{extra} {' '.join(actions)}".rstrip())
    showing = states.contains(pyatspi.STATE_SHOWING)
    if showing:
        seen.update((role, label) for label in [name] + labels)
        if states.contains(pyatspi.STATE_ENABLED):
            seen.add((role, name, "enabled"))
    if showing and role in NAMED_ROLES and not (name or description):
        problems.append(f"{role} without a name")
    if showing and role in TEXT_ROLES | VALUE_ROLES and shown is None:
        problems.append(f"the value of {name!r} cannot be read")
    if showing and role == "push button" and states.contains(pyatspi.STATE_ENABLED) and "Press" not in actions:
        problems.append(f"button {name!r} cannot be pressed")
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), depth + 1, problems, seen)


def expect(step, seen, problems):
    for role, name in EXPECTED.get(step, []):
        if (role, name) not in seen:
            problems.append(f"no {role} {name!r} after {step!r}")
    for role, name in ENABLED.get(step, []):
        if (role, name) in seen and (role, name, "enabled") not in seen:
            problems.append(f"{role} {name!r} is not enabled after {step!r}")


def find(node, name, role=None):
    if node.name == name and role in (None, node.getRoleName()):
        return node
    for i in range(node.childCount):
        found = find(node.getChildAtIndex(i), name, role)
        if found is not None:
            return found
    return None


def showing_windows(app):
    windows = (app.getChildAtIndex(i) for i in range(app.childCount))
    return [w for w in windows if w is not None and w.getState().contains(pyatspi.STATE_SHOWING)]


def wait_for_new_window(app, before):
    """The window shown since `before` (the windows then showing), or None after 5 s."""
    new = []

    def appeared():
        new[:] = [w for w in showing_windows(app) if w not in before]
        return new

    return new[0] if wait_for(appeared, 5) else None


def find_newest_first(app, name, role):
    """The control in the newest window that has it (a dialog's "Cancel" before another's)."""
    for i in reversed(range(app.childCount)):
        found = find(app.getChildAtIndex(i), name, role)
        if found is not None:
            return found
    return None


def wait_for(condition, seconds):
    """Polls the condition, passing the bus's events to the listeners meanwhile."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        while context.iteration(False):
            pass
        time.sleep(0.05)
    return True


def key(symbol):
    pyatspi.Registry.generateKeyboardEvent(symbol, None, pyatspi.KEY_SYM)


def click(node):
    x, y, width, height = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "b1c")


def do(node, action_name):
    action = node.queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index(action_name))


def press(app, name, opens_window=True):
    """Presses the button once it is enabled; returns the window it opened (or, for a button that
    opens none, the main window), and a problem."""
    button = find_newest_first(app, name, "push button")
    if button is None:
        return None, f"no button {name!r} to press"
    if not wait_for(lambda: button.getState().contains(pyatspi.STATE_ENABLED), 30):
        return None, f"button {name!r} stayed disabled"
    before = showing_windows(app)
    do(button, "Press")
    if not opens_window:
        return app.getChildAtIndex(0), None
    window = wait_for_new_window(app, before)
    return window, None if window is not None else f"pressing {name!r} opened no window"


def choose(app, name):
    """Clicks the first entry of the list once it has one (which also makes the window the active
    one: the virtual X server has no window manager to do it)."""
    entries = find(app, name, "list")
    if entries is None:
        return f"no list {name!r}"
    if not wait_for(lambda: entries.childCount > 0, 30):
        return f"the list {name!r} stayed empty"
    click(entries.getChildAtIndex(0))
    total = find(app, "Total Power", "text")
    if total is not None and not wait_for(lambda: shown_text(total), 30):
        return f"no session after choosing from {name!r}: Total Power stayed empty"
    return None


def open_menu(app, name):
    """Focuses the control and opens its context menu with the menu key; returns the menu, or
    a problem. A popup menu is no window of the program: it is found by the event of its showing."""
    control = find(app, name)
    if control is None:
        return None, f"no control {name!r}"
    control.queryComponent().grabFocus()
    if not wait_for(lambda: control.getState().contains(pyatspi.STATE_FOCUSED), 5):
        return None, f"{name!r} does not take the focus"
    menus = []

    def shown(event):
        if event.detail1 and event.source.getRoleName() == "popup menu":
            menus.append(event.source)

    pyatspi.Registry.registerEventListener(shown, "object:state-changed:showing")
    key(MENU_KEY)
    opened = wait_for(lambda: menus, 5)
    pyatspi.Registry.deregisterEventListener(shown, "object:state-changed:showing")
    if not opened:
        return None, f"the menu key on {name!r} opened no menu"
    return menus[0], None


def choose_item(app, menu, name):
    """Chooses the menu's entry; returns the window it opened, and a problem."""
    entry = find(menu, name, "menu item")
    if entry is None:
        return None, f"no menu item {name!r}"
    before = showing_windows(app)
    do(entry, "Press")
    window = wait_for_new_window(app, before)
    return window, None if window is not None else f"choosing {name!r} opened no window"


def settle(app, step):
    """Gives the controls the step should leave enabled a moment to become so (a session's first
    passes unlock them one after the other)."""
    wanted = [find_newest_first(app, name, role) for role, name in ENABLED.get(step, [])]
    wait_for(lambda: all(w is None or w.getState().contains(pyatspi.STATE_ENABLED) for w in wanted), 10)


def main():
    app = find_application(sys.argv[1])
    if app is None:
        print(f"{sys.argv[1]} did not appear on the accessibility bus", file=sys.stderr)
        return 1
    problems = []
    seen = set()
    walk(app, 0, problems, seen)
    expect(sys.argv[1], seen, problems)
    for step in sys.argv[2:]:
        print(f"--- after {step!r}")
        kind, _, name = step.partition(":")
        item = ""
        if kind == "click" and name:
            looked_at, problem = press(app, name, opens_window=False)
        elif kind == "choose" and name:
            problem = choose(app, name)
            looked_at = app.getChildAtIndex(0)
        elif kind == "menu" and name:
            name, _, item = name.partition(">")
            looked_at, problem = open_menu(app, name)
            if not problem and item:
                looked_at, problem = choose_item(app, looked_at, item)
        else:
            looked_at, problem = press(app, step)
        if problem:
            problems.append(problem)
            break
        if kind != "menu" or item:
            settle(app, step)
        seen = set()
        walk(looked_at, 0, problems, seen)
        expect(step, seen, problems)
        if kind == "menu" and not item:
            key(ESCAPE_KEY)
            if not wait_for(lambda: not looked_at.getState().contains(pyatspi.STATE_SHOWING), 5):
                problems.append(f"Escape did not close the menu of {name!r}")
                break
    for problem in problems:
        print("problem:", problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
