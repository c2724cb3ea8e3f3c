#!/usr/bin/python3
"""What a screen reader receives, through AT-SPI itself: the program runs on
an X display with the accessibility bus (tests/with_atspi.sh), a pyatspi
listener records every object that starts showing, and xdotool types and
clicks as an operator does. A refused press must bring its red label's text,
a repeated refusal must bring it again, and an accepted press its results.

    tests/with_atspi.sh tests/check_atspi.py build/pesolane
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

PROGRAM = sys.argv[1]
shown = []  # (role, name) of every object that started showing


def on_showing(event):
    if event.detail1 != 1:
        return
    try:
        shown.append((event.source.getRoleName(), event.source.name))
    except Exception:  # the object may be gone already
        pass


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, stdout=subprocess.PIPE, text=True).stdout.strip()


failures = []
window = None


def click(x, y):
    xdotool("mousemove", "--window", window, str(x), str(y), "click", "1")


def type_into(x, y, text):
    click(x, y)
    xdotool("key", "ctrl+a")
    xdotool("type", "--delay", "30", text)


# The controls, by the centre of their rectangles in the window.
PRECISION, TOTAL, CMD1 = (168, 21), (168, 61), (260, 59)
POIDS1, CMD2 = (168, 125), (260, 123)
NB1, CMD3 = (168, 197), (260, 196)
QUIT = (700, 598)

# Each action, then what must start showing after it: (role, texts the name holds).
SCRIPT = [
    (lambda: (type_into(*PRECISION, "0"), type_into(*TOTAL, "1000"), click(*CMD1)),
     ("notification", ["La précision doit être  > 0"])),
    (lambda: click(*CMD1), ("notification", ["La précision doit être  > 0"])),
    (lambda: (type_into(*PRECISION, "0.1"), click(*CMD1)),
     ("notification", ["premier échantillon : 1 ;", "Étape 2 : saisir le poids réel du premier échantillon"])),
    (lambda: (type_into(*POIDS1, "2000"), click(*CMD2)),
     ("notification", ["Le poids réel du premier échantillon doit être  <  au poids total"])),
    (lambda: (type_into(*POIDS1, "10"), click(*CMD2)), ("notification", ["Étape 3 : saisir le nombre de pièces"])),
    (lambda: (type_into(*NB1, "50"), click(*CMD3)),
     ("notification", ["Première estimation du nombre total de pièces : 5000,", "plus ou moins : 50,5",
                       "Écart minimum par rapport au nombre total de pièces : 1,",
                       "Écart maximum par rapport au nombre total de pièces : 500,5"])),
]


def find_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name and "pesolane" in app.name.lower():
            return app
    return None


def check_tree(app):
    frame = app.getChildAtIndex(0)
    if frame.name != "PESOLANE V1.0 01-01-2012":
        failures.append(f"window name {frame.name!r}")
    names = [frame.getChildAtIndex(i).name for i in range(frame.childCount)]
    roles = [frame.getChildAtIndex(i).getRoleName() for i in range(frame.childCount)]
    # 56 controls and the announcer; no line, no focus ring.
    if frame.childCount != 57:
        failures.append(f"{frame.childCount} children in the window, expected 57: {list(zip(roles, names))}")
    for i in range(frame.childCount):
        child = frame.getChildAtIndex(i)
        if child.name == "Précision de la pesolane" and child.getRoleName() == "text":
            labels = [t.name for r in child.getRelationSet() if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                      for t in (r.getTarget(k) for k in range(r.getNTargets()))]
            if labels != ["Précision de la pesolane"]:
                failures.append(f"TxtPrecision is labelled by {labels}")
            break
    else:
        failures.append("no text box named 'Précision de la pesolane'")
    for i in range(frame.childCount):
        child = frame.getChildAtIndex(i)
        desc = child.description
        if desc and desc == child.name:
            failures.append(f"{child.name!r}: a description that repeats the name")


def main():
    global window
    process = subprocess.Popen([PROGRAM])
    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
    window = xdotool("search", "--sync", "--name", "PESOLANE")
    loop = GLib.MainLoop()
    state = {"step": -1, "since": 0.0, "mark": 0}

    def tick():
        if state["step"] == -1:
            app = find_app()
            if app is None:
                if time.time() - state["since"] > 20 and state["since"]:
                    failures.append("the program never appeared on the accessibility bus")
                    loop.quit()
                state["since"] = state["since"] or time.time()
                return True
            check_tree(app)
            state["step"] = 0
        step = state["step"]
        if step >= len(SCRIPT):
            click(*QUIT)
            loop.quit()
            return False
        action, (role, texts) = SCRIPT[step]
        if state["mark"] == 0:
            state["mark"] = len(shown) + 1
            state["since"] = time.time()
            action()
            return True
        heard = [name for r, name in shown[state["mark"] - 1:] if r == role]
        if any(all(t in name for t in texts) for name in heard):
            print(f"ok   step {step + 1}: heard {heard[-1]!r}")
            state.update(step=step + 1, mark=0)
        elif time.time() - state["since"] > 10:
            failures.append(f"step {step + 1}: expected a {role} holding {texts}, heard {shown[state['mark'] - 1:]}")
            state.update(step=step + 1, mark=0)
        return True

    GLib.timeout_add(200, tick)
    GLib.timeout_add_seconds(120, lambda: (failures.append("timed out"), loop.quit()))
    loop.run()
    try:
        status = process.wait(timeout=10)
        if status != 0:
            failures.append(f"the program ended with status {status}")
    except subprocess.TimeoutExpired:
        process.kill()
        failures.append("FIN did not end the program")
    for f in failures:
        print("FAIL", f)
    print(f"{len(SCRIPT) + 2 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
