#!/usr/bin/python3
"""A clipboard manager for the tests, on the X server of $DISPLAY.

It takes the clipboard over only the way a desktop's clipboard manager does
when a program ends: it owns the selection CLIPBOARD_MANAGER, and when the
program that owns CLIPBOARD converts CLIPBOARD_MANAGER to SAVE_TARGETS (as Qt
does while the application is destroyed), it reads the clipboard's text from
that program, becomes the clipboard's owner and answers.  It never looks at
the clipboard otherwise, so a program that ends without asking leaves nothing.

    clipboard-manager.py READY_FILE

writes READY_FILE once it owns CLIPBOARD_MANAGER and, for each text it took
over, a line "saved N bytes" to standard error; it runs until it is killed.
"""

import select
import sys
import time

from Xlib import X, Xatom, display
from Xlib.protocol import event

d = display.Display()
window = d.screen().root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent)
CLIPBOARD, MANAGER, SAVE_TARGETS, TARGETS, UTF8, TRANSFER = (
    d.intern_atom(name) for name in
    ("CLIPBOARD", "CLIPBOARD_MANAGER", "SAVE_TARGETS", "TARGETS", "UTF8_STRING", "_ONDREL_TEST_TRANSFER"))
saved = None  # the clipboard's text, once taken over
deferred = []  # requests that came while a text was being fetched


def next_event(deadline=None):
    while d.pending_events() == 0:
        remaining = None if deadline is None else deadline - time.monotonic()
        if remaining is not None and remaining <= 0:
            return None
        select.select([d], [], [], remaining)
    return d.next_event()


def fetch_text():
    """The clipboard's UTF-8 text from its owner, or None."""
    window.convert_selection(CLIPBOARD, UTF8, TRANSFER, X.CurrentTime)
    d.flush()
    deadline = time.monotonic() + 5
    while True:
        e = next_event(deadline)
        if e is None:
            return None
        if e.type == X.SelectionNotify and e.requestor == window:
            break
        deferred.append(e)
    if e.property == X.NONE:
        return None
    value = window.get_full_property(TRANSFER, UTF8)  # a test's text is never sent in pieces
    window.delete_property(TRANSFER)
    return None if value is None else value.value


def reply(request, prop):
    request.requestor.send_event(event.SelectionNotify(
        time=request.time, requestor=request.requestor, selection=request.selection,
        target=request.target, property=prop), event_mask=0)
    d.flush()


def handle(e):
    global saved
    if e.type == X.SelectionClear and e.atom == CLIPBOARD:
        saved = None
    if e.type != X.SelectionRequest:
        return
    prop = e.property if e.property != X.NONE else e.target
    if e.selection == MANAGER and e.target == SAVE_TARGETS:
        text = fetch_text()
        if text is not None:
            saved = text
            window.set_selection_owner(CLIPBOARD, X.CurrentTime)
            print("saved %d bytes" % len(text), file=sys.stderr, flush=True)
        reply(e, e.property if text is not None else X.NONE)
    elif e.selection == CLIPBOARD and saved is not None and e.target == TARGETS:
        e.requestor.change_property(prop, Xatom.ATOM, 32, [TARGETS, UTF8])
        reply(e, prop)
    elif e.selection == CLIPBOARD and saved is not None and e.target == UTF8:
        e.requestor.change_property(prop, UTF8, 8, saved)
        reply(e, prop)
    else:
        reply(e, X.NONE)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: clipboard-manager.py READY_FILE")
    window.set_selection_owner(MANAGER, X.CurrentTime)
    d.sync()
    if d.get_selection_owner(MANAGER) != window:
        sys.exit("another program owns CLIPBOARD_MANAGER")
    with open(sys.argv[1], "w") as ready:
        ready.write("ready\n")
    while True:
        handle(deferred.pop(0) if deferred else next_event())


if __name__ == "__main__":
    main()
