"""Prints what a screen reader finds in a running program through the accessibility bus, and
fails when a button, tick box, field or lamp has no name, an enabled button cannot be pressed or
a field (such as a value cell) does not let a reader have the value it shows."""
import sys
import time

import pyatspi

NAMED_ROLES = {"push button", "check box", "text", "image", "combo box", "list", "progress bar", "page tab"}


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


def walk(node, depth, problems):
    role, name, description = node.getRoleName(), node.name, node.description
    states = node.getState()
    try:
        action = node.queryAction()
        actions = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        actions = []
    value = shown_text(node) if role == "text" else None
    if role not in ("filler", "panel") or name:
        extra = f" ({description})" if description else ""
        if value is not None:
            extra += f" = {value!r}"
        print(f"{'  ' * min(depth, 8)}{role}: {name!r}{extra} {' '.join(actions)}".rstrip())
    showing = states.contains(pyatspi.STATE_SHOWING)
    if showing and role in NAMED_ROLES and not (name or description):
        problems.append(f"{role} without a name")
    if showing and role == "text" and value is None:
        problems.append(f"the value of {name!r} cannot be read")
    if showing and role == "push button" and states.contains(pyatspi.STATE_ENABLED) and "Press" not in actions:
        problems.append(f"button {name!r} cannot be pressed")
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), depth + 1, problems)


def main():
    app = find_application(sys.argv[1])
    if app is None:
        print(f"{sys.argv[1]} did not appear on the accessibility bus", file=sys.stderr)
        return 1
    problems = []
    walk(app, 0, problems)
    for problem in problems:
        print("problem:", problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
