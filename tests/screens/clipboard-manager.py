#!/usr/bin/python3
"""A clipboard manager for the tests, on the X server of $DISPLAY.

It takes the clipboard over only the way a desktop's clipboard manager does
when a program ends: it owns the selection CLIPBOARD_MANAGER, and when a
program that owns CLIPBOARD converts CLIPBOARD_MANAGER to SAVE_TARGETS (as Qt
does while the application is destroyed), it reads the clipboard's text from
that program, becomes the clipboard's owner itself and answers the request.
It never looks at the clipboard otherwise: a program that ends without asking
leaves nothing behind, as it would on a desktop.

    clipboard-manager.py READY_FILE

writes READY_FILE once it owns CLIPBOARD_MANAGER, and one line to standard
error for every request it saved ("saved 1234 bytes of UTF8_STRING").  It
runs until it is killed.
"""

import select
import sys
import time

from Xlib import X, Xatom, display
from Xlib.protocol import event

# Text targets kept, in the order of preference; a test needs no others.
TEXT_TARGETS = ("UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT")
# How long the owner may take to hand over one target.
FETCH_SECONDS = 5.0


class Manager:
    def __init__(self):
        self.d = display.Display()
        root = self.d.screen().root
        self.window = root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent,
                                         event_mask=X.PropertyChangeMask)
        atom = self.d.intern_atom
        self.clipboard = atom("CLIPBOARD")
        self.manager = atom("CLIPBOARD_MANAGER")
        self.save_targets = atom("SAVE_TARGETS")
        self.targets = atom("TARGETS")
        self.incr = atom("INCR")
        self.transfer = atom("_ONDREL_TEST_TRANSFER")
        self.text_targets = [(name, atom(name)) for name in TEXT_TARGETS]
        self.saved = {}  # target atom -> (type atom, format, value)
        self.deferred = []

    def start(self, ready_file):
        self.window.set_selection_owner(self.manager, X.CurrentTime)
        self.d.sync()
        if self.d.get_selection_owner(self.manager) != self.window:
            sys.exit("another program owns CLIPBOARD_MANAGER")
        with open(ready_file, "w") as f:
            f.write("ready\n")

    def next_event(self, deadline=None):
        while self.d.pending_events() == 0:
            remaining = None if deadline is None else deadline - time.monotonic()
            if remaining is not None and remaining <= 0:
                return None
            select.select([self.d], [], [], remaining)
        return self.d.next_event()

    def fetch(self, target):
        """The clipboard's value as `target`, read from its owner; None if it
        gives none."""
        self.window.delete_property(self.transfer)
        self.window.convert_selection(self.clipboard, target, self.transfer, X.CurrentTime)
        self.d.flush()
        deadline = time.monotonic() + FETCH_SECONDS
        while True:
            e = self.next_event(deadline)
            if e is None:
                return None
            if e.type == X.SelectionNotify and e.requestor == self.window and e.target == target:
                break
            # Requests for what this program owns wait until the fetch is over.
            self.deferred.append(e)
        if e.property == X.NONE:
            return None
        value = self.window.get_full_property(self.transfer, X.AnyPropertyType)
        self.window.delete_property(self.transfer)
        if value is None or value.property_type == self.incr:
            return None  # a test's text is far below the size sent in pieces
        return (value.property_type, value.format, value.value)

    def save(self, request):
        offered = self.fetch(self.targets)
        offered_atoms = set(offered[2]) if offered else set()
        saved = {}
        for name, target in self.text_targets:
            if target in offered_atoms:
                value = self.fetch(target)
                if value is not None:
                    saved[target] = value
                    print("saved %d bytes of %s" % (len(value[2]), name), file=sys.stderr, flush=True)
        if saved:
            self.saved = saved
            self.window.set_selection_owner(self.clipboard, X.CurrentTime)
        self.reply(request, request.property if saved else X.NONE)

    def serve(self, request):
        prop = request.property if request.property != X.NONE else request.target
        if request.target == self.targets:
            request.requestor.change_property(prop, Xatom.ATOM, 32, [self.targets] + list(self.saved))
        elif request.target in self.saved:
            kind, form, value = self.saved[request.target]
            request.requestor.change_property(prop, kind, form, value)
        else:
            prop = X.NONE
        self.reply(request, prop)

    def reply(self, request, prop):
        notify = event.SelectionNotify(time=request.time, requestor=request.requestor,
                                       selection=request.selection, target=request.target,
                                       property=prop)
        request.requestor.send_event(notify, event_mask=0)
        self.d.flush()

    def handle(self, e):
        if e.type == X.SelectionRequest:
            if e.selection == self.manager and e.target == self.save_targets:
                self.save(e)
            elif e.selection == self.clipboard and self.saved:
                self.serve(e)
            else:
                self.reply(e, X.NONE)
        elif e.type == X.SelectionClear and e.atom == self.clipboard:
            self.saved = {}

    def run(self):
        while True:
            e = self.deferred.pop(0) if self.deferred else self.next_event()
            self.handle(e)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: clipboard-manager.py READY_FILE")
    manager = Manager()
    manager.start(sys.argv[1])
    manager.run()


if __name__ == "__main__":
    main()
