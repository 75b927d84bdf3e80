"""Prints what a screen reader finds in a running program through the accessibility bus, and
fails when a button, tick box, field or lamp has no name, an enabled button cannot be pressed or
a field (such as a value cell) does not let a reader have the value it shows, or a control
Spanmon must offer is missing (EXPECTED, by the window looked at).
Arguments: the program's name, then buttons to press one after the other; after each press the
program is looked at again, with the windows the button opened."""
import sys
import time

import pyatspi

NAMED_ROLES = {"push button", "check box", "text", "password text", "image", "combo box", "list", "progress bar",
               "page tab"}
TEXT_ROLES = {"text", "password text"}

# Controls that must be found, by role and name: in the main window, and in the window a button
# of that name opens.
EXPECTED = {
    "Spanmon": [("text", "Total Power"), ("push button", "Power History"), ("push button", "Power-cycle...")],
    "Power History": [("list", "Ports drawn"), ("combo box", "Time range"), ("push button", "Export CSV...")],
}


def find_application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for _ in range(100):
        for app in desktop:
            if app is not None and app.name == name:
                return app
        time.sleep(0.1)
    return None


def shown_text(node):
    """What a field shows, through its text interface; None when a reader cannot have it."""
    try:
        text = node.queryText()
    except NotImplementedError:
        return None
    return text.getText(0, text.characterCount)


def walk(node, depth, problems, seen):
    role, name, description = node.getRoleName(), node.name, node.description
    states = node.getState()
    try:
        action = node.queryAction()
        actions = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        actions = []
    shown = shown_text(node) if role in TEXT_ROLES else None
    value = f" = {shown!r}" if shown is not None else ""
    if role not in ("filler", "panel") or name:
        extra = f" ({description})" if description else ""
        print(f"{'  ' * min(depth, 8)}{role}: {name!r}{value}{extra} {' '.join(actions)}".rstrip())
    showing = states.contains(pyatspi.STATE_SHOWING)
    if showing:
        seen.add((role, name))
    if showing and role in NAMED_ROLES and not (name or description):
        problems.append(f"{role} without a name")
    if showing and role in TEXT_ROLES and shown is None:
        problems.append(f"the value of {name!r} cannot be read")
    if showing and role == "push button" and states.contains(pyatspi.STATE_ENABLED) and "Press" not in actions:
        problems.append(f"button {name!r} cannot be pressed")
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), depth + 1, problems, seen)


def expect(window, seen, problems):
    for role, name in EXPECTED.get(window, []):
        if (role, name) not in seen:
            problems.append(f"no {role} {name!r} in {window!r}")


def find_button(node, name):
    if node.getRoleName() == "push button" and node.name == name:
        return node
    for i in range(node.childCount):
        found = find_button(node.getChildAtIndex(i), name)
        if found is not None:
            return found
    return None


def press(app, name):
    """Presses the button and waits until the program shows one more window."""
    button = find_button(app, name)
    if button is None:
        return f"no button {name!r} to press"
    windows = app.childCount
    action = button.queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))
    for _ in range(50):
        if app.childCount > windows:
            return None
        time.sleep(0.1)
    return f"pressing {name!r} opened no window"


def main():
    app = find_application(sys.argv[1])
    if app is None:
        print(f"{sys.argv[1]} did not appear on the accessibility bus", file=sys.stderr)
        return 1
    problems = []
    seen = set()
    walk(app, 0, problems, seen)
    expect(sys.argv[1], seen, problems)
    for button in sys.argv[2:]:
        print(f"--- after pressing {button!r}")
        problem = press(app, button)
        if problem:
            problems.append(problem)
            break
        seen = set()
        walk(app.getChildAtIndex(app.childCount - 1), 0, problems, seen)
        expect(button, seen, problems)
    for problem in problems:
        print("problem:", problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
