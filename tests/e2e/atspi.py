#!/usr/bin/python3
"""What a screen reader finds of an application over AT-SPI (the accessibility bus of the
D-Bus session in DBUS_SESSION_BUS_ADDRESS), and what it can do with it.

  atspi.py tree APP            one line per object: depth, role|name|actions|states|interfaces
  atspi.py press APP NAME      presses the push button NAME; prints how long the call took (ms)
  atspi.py settext APP TEXT    asks for the text field's contents to be TEXT; prints the answer
  atspi.py text APP            the text field's text
  atspi.py read APP ROLE NAME  the object's description, then the name of each of its children
  atspi.py value APP ROLE NAME the object's value through the Value interface: current, least, most
  atspi.py setvalue APP ROLE NAME N   asks for the object's value to be N; prints the answer
  atspi.py listen APP SECONDS  for that long, one line per change of a name, description or value
                               of the application's objects: role|name|property|the new name or
                               description as the event carries it, or the value (through the
                               Value interface: current, least, most) as read then; "listening"
                               first, once registered
"""
import sys
import time

import dbus

ACCESSIBLE = 'org.a11y.atspi.Accessible'
PROPERTIES = 'org.freedesktop.DBus.Properties'
VALUE = 'org.a11y.atspi.Value'
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


def value_of(obj):
    """current, least and most, as the Value interface's properties give them"""
    return ' '.join('%g' % float(obj.Get(VALUE, p, dbus_interface=PROPERTIES))
                    for p in ('CurrentValue', 'MinimumValue', 'MaximumValue'))


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
    elif command == 'read':
        obj = find(app, rest[0], rest[1])
        print(prop(obj, 'Description'))
        for i in range(prop(obj, 'ChildCount')):
            print(prop(node(obj.GetChildAtIndex(i, dbus_interface=ACCESSIBLE)), 'Name'))
    elif command == 'value':
        print(value_of(find(app, rest[0], rest[1])))
    elif command == 'setvalue':
        obj = find(app, rest[0], rest[1])
        try:
            obj.Set(VALUE, 'CurrentValue', dbus.Double(float(rest[2])), dbus_interface=PROPERTIES)
            print('set')
        except dbus.exceptions.DBusException as e:
            print(e.get_dbus_name())
    elif command == 'listen':
        listen(app, float(rest[0]))


def listen(app, seconds):
    """As a screen reader does: asks the registry for property changes (toolkits send them only
    while someone listens) and reads the object each one comes from."""
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib
    address = dbus.SessionBus().get_object('org.a11y.Bus', '/org/a11y/bus').GetAddress(dbus_interface='org.a11y.Bus')
    bus = dbus.bus.BusConnection(str(address), mainloop=DBusGMainLoop())
    sender = app.bus_name

    def changed(kind, detail1, detail2, value, properties, path=None, source=None):
        if source != sender:
            return
        obj = bus.get_object(source, path)
        # A name or description as the event carries it, the one of that moment (read now, a
        # later one may have taken its place); a value as the object gives it now.
        if kind == 'accessible-value':
            said = value_of(obj)
        elif isinstance(value, str):
            said = str(value)
        else:
            said = str(prop(obj, 'Description' if kind == 'accessible-description' else 'Name'))
        print('%s|%s|%s|%s' % (obj.GetRoleName(dbus_interface=ACCESSIBLE), prop(obj, 'Name'), kind,
                               said.replace('\n', ' ')), flush=True)

    bus.add_signal_receiver(changed, signal_name='PropertyChange', dbus_interface='org.a11y.atspi.Event.Object',
                            path_keyword='path', sender_keyword='source')
    registry = bus.get_object('org.a11y.atspi.Registry', '/org/a11y/atspi/registry')
    # A value's changes are asked for by name too: a toolkit may send them only then.
    for event in ('object:property-change', 'object:property-change:accessible-value'):
        registry.RegisterEvent(event, dbus.Array([], signature='s'), '', dbus_interface='org.a11y.atspi.Registry')
    print('listening', flush=True)
    loop = GLib.MainLoop()
    GLib.timeout_add(int(seconds * 1000), loop.quit)
    loop.run()


if __name__ == '__main__':
    main(*sys.argv[1:])
