#!/usr/bin/python3
"""What a screen reader finds of an application over AT-SPI (the accessibility bus of the
D-Bus session in DBUS_SESSION_BUS_ADDRESS), and what it can do with it.

  atspi.py tree APP            one line per object: depth, role|name|actions|states|interfaces
  atspi.py press APP NAME      presses the push button NAME; prints how long the call took (ms)
  atspi.py settext APP TEXT    asks for the text field's contents to be TEXT; prints the answer
  atspi.py text APP            the text field's text
"""
import sys
import time

import dbus

ACCESSIBLE = 'org.a11y.atspi.Accessible'
PROPERTIES = 'org.freedesktop.DBus.Properties'
STATES = {7: 'editable', 8: 'enabled', 11: 'focusable', 12: 'focused', 24: 'sensitive'}


def accessibility_bus():
    session = dbus.SessionBus()
    address = session.get_object('org.a11y.Bus', '/org/a11y/bus').GetAddress(dbus_interface='org.a11y.Bus')
    return dbus.bus.BusConnection(str(address))


BUS = accessibility_bus()


def node(reference):
    return BUS.get_object(reference[0], reference[1])


def prop(obj, name):
    return obj.Get(ACCESSIBLE, name, dbus_interface=PROPERTIES)


def interfaces(obj):
    return [str(i).rsplit('.', 1)[-1] for i in obj.GetInterfaces(dbus_interface=ACCESSIBLE)]


def actions(obj):
    if 'Action' not in interfaces(obj):
        return []
    return [str(a[0]) for a in obj.GetActions(dbus_interface='org.a11y.atspi.Action')]


def states(obj):
    low, high = obj.GetState(dbus_interface=ACCESSIBLE)
    bits = int(low) | (int(high) << 32)
    return [name for bit, name in sorted(STATES.items()) if bits & (1 << bit)]


def application(name):
    root = BUS.get_object('org.a11y.atspi.Registry', '/org/a11y/atspi/accessible/root')
    for i in range(prop(root, 'ChildCount')):
        app = node(root.GetChildAtIndex(i, dbus_interface=ACCESSIBLE))
        if str(prop(app, 'Name')) == name:
            return app
    sys.exit('no application %s on the accessibility bus' % name)


def walk(obj, depth=0):
    yield depth, obj
    for i in range(prop(obj, 'ChildCount')):
        yield from walk(node(obj.GetChildAtIndex(i, dbus_interface=ACCESSIBLE)), depth + 1)


def find(app, role, name=None):
    for _, obj in walk(app):
        if str(obj.GetRoleName(dbus_interface=ACCESSIBLE)) == role and (name is None or str(prop(obj, 'Name')) == name):
            return obj
    sys.exit('no %s %s' % (role, name or ''))


def main(command, app_name, *rest):
    app = application(app_name)
    if command == 'tree':
        for depth, obj in walk(app):
            print('%d %s|%s|%s|%s|%s' % (depth, obj.GetRoleName(dbus_interface=ACCESSIBLE), prop(obj, 'Name'),
                                         ','.join(actions(obj)), ','.join(states(obj)), ','.join(interfaces(obj))))
    elif command == 'press':
        button = find(app, 'push button', rest[0])
        index = actions(button).index('Press')
        start = time.monotonic()
        button.DoAction(index, dbus_interface='org.a11y.atspi.Action', timeout=60)
        print(int((time.monotonic() - start) * 1000))
    elif command == 'settext':
        field = find(app, 'text')
        try:
            print(bool(field.SetTextContents(rest[0], dbus_interface='org.a11y.atspi.EditableText')))
        except dbus.exceptions.DBusException as e:
            print(e.get_dbus_name())
    elif command == 'text':
        field = find(app, 'text')
        print(field.GetText(0, -1, dbus_interface='org.a11y.atspi.Text'))


if __name__ == '__main__':
    main(*sys.argv[1:])
