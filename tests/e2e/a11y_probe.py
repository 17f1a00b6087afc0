#!/usr/bin/python3
"""Reads Velmora's open panel through AT-SPI, as a screen reader would.

Run on the session bus that Velmora's AT-SPI bridge uses, with DISPLAY set to its X server. Waits for
the search field, the quit and "Clear" buttons and a list item for each --row text; then presses Down
with xdotool and waits until the first row reports itself selected and focused and a focus event for
it arrives. Exits 0 when all of that was seen in time, 1 otherwise, saying what was missing.
"""

import argparse
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

DEADLINE_SECONDS = 30


def velmora():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        if application is not None and application.name == "Velmora":
            return application
    return None


def descendants(accessible):
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find(root, role, name):
    for accessible in descendants(root):
        if accessible.getRole() == role and accessible.name == name:
            return accessible
    return None


def has_states(accessible, *states):
    current = accessible.getState()
    return all(current.contains(state) for state in states)


def wait_for(condition, what):
    """Runs GLib's loop, so that AT-SPI events arrive, until `condition` returns a true value."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + DEADLINE_SECONDS
    while time.monotonic() < deadline:
        try:
            result = condition()
        except Exception:  # The tree changes under us while Velmora lays it out; look again.
            result = None
        if result:
            return result
        while context.iteration(False):
            pass
        time.sleep(0.05)
    print(f"not seen within {DEADLINE_SECONDS} s: {what}")
    return None


def dump(accessible, depth=0):
    print(f"{'  ' * depth}{accessible.getRoleName()} {accessible.name!r}")
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None:
            dump(child, depth + 1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--row", action="append", default=[], help="the name a row must have, top to bottom")
    rows = parser.parse_args().row

    application = wait_for(velmora, "Velmora on the accessibility bus")
    if application is None:
        return 1
    search = wait_for(lambda: find(application, pyatspi.ROLE_TEXT, "Search"), "the search field")
    quit_button = wait_for(lambda: find(application, pyatspi.ROLE_PUSH_BUTTON, "Quit"), 'the "Quit" button')
    clear = wait_for(lambda: find(application, pyatspi.ROLE_PUSH_BUTTON, "Clear"), 'the "Clear" button')
    listed = wait_for(lambda: find(application, pyatspi.ROLE_LIST, "History"), "the history list")
    items = []
    for row in rows:
        items.append(wait_for(lambda: find(listed, pyatspi.ROLE_LIST_ITEM, row), f"the row {row!r}") if listed else None)
    if not all([search, quit_button, clear, listed, *items]):
        dump(application)
        return 1
    print("found the search field, the quit and Clear buttons and the rows " + ", ".join(map(repr, rows)))

    focused = []
    pyatspi.Registry.registerEventListener(
        lambda event: focused.append(event.source.name) if event.detail1 else None, "object:state-changed:focused")
    if not wait_for(lambda: has_states(search, pyatspi.STATE_FOCUSED), "the keyboard focus in the search field"):
        return 1
    subprocess.run(["xdotool", "key", "Down"], check=True)
    first = items[0]
    if not wait_for(lambda: has_states(first, pyatspi.STATE_SELECTED, pyatspi.STATE_FOCUSED),
                    f"the row {rows[0]!r} selected and focused after Down"):
        return 1
    if not wait_for(lambda: rows[0] in focused, f"a focus event for the row {rows[0]!r}"):
        print(f"focus events seen for: {focused}")
        return 1
    print(f"Down selected {rows[0]!r} and announced it")
    return 0


if __name__ == "__main__":
    sys.exit(main())
