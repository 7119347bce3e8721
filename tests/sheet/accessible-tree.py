#!/usr/bin/python3
# Reads a running program's settings window over AT-SPI, as a screen reader does,
# and prints "role|name|description" for every control a person can reach and for
# the preview. The name is what a reader announces: the label tied to the control,
# else the control's own name. Usage: accessible-tree.py PROGRAM_NAME
import sys
import time

import pyatspi


def announced_name(node):
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for index in range(relation.getNTargets()):
                if relation.getTarget(index).name:
                    return relation.getTarget(index).name
    return node.name


def walk(node):
    yield node
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from walk(child)


def settings_window_of(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        if application is None or application.name != name:
            continue
        for node in walk(application):
            if node.getRoleName() == "slider":
                return application
    return None


# The program registers with the bus as it starts; it is asked again until then.
window = None
for attempt in range(300):
    window = settings_window_of(sys.argv[1])
    if window:
        break
    time.sleep(0.1)
if window is None:
    sys.exit("no settings window of " + sys.argv[1] + " on the accessibility bus")
for node in walk(window):
    role = node.getRoleName()
    if role in ("animation", "combo box") or node.getState().contains(pyatspi.STATE_FOCUSABLE):
        print("%s|%s|%s" % (role, announced_name(node), node.description))
