"""The desktop's own thumbnail hosts making thumbnails of BSV2 files.

    thumbnail_hosts.py gnome MODEL WORST_CASE
    thumbnail_hosts.py tumbler TUMBLERD MODEL WORST_CASE

gnome: GNOME's thumbnail factory (gnome-desktop, through gobject-introspection),
which runs the thumbnailer in its bubblewrap sandbox. tumbler: XFCE's thumbnail
service, started here on the session bus (run this under dbus-run-session) and
asked over D-Bus. Each must make a 128 x 128 thumbnail of MODEL (the normal
size), and must be told of a failure, within the thumbnailer's budget, for
WORST_CASE at 512 x 512 (the x-large size, where drawing it whole takes three
times the budget or more on a fast machine). The
environment (XDG folders, PATH) says where the thumbnailer and the MIME type
are; thumbnails go to $XDG_CACHE_HOME/thumbnails.
"""

import hashlib
import os
import struct
import subprocess
import sys
import time

import gi

from gi.repository import Gio, GLib

# The thumbnailer's budget: its CPU-time limit and the hard limit above it.
CPU_SECONDS_HARD_LIMIT = 6
SERVICE = "org.freedesktop.thumbnails.Thumbnailer1"
SERVICE_PATH = "/org/freedesktop/thumbnails/Thumbnailer1"


def fail(message):
    sys.exit("FAILED: " + message)


def png_size(path):
    with open(path, "rb") as png:
        head = png.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        fail("%s is not a PNG" % path)
    return struct.unpack(">II", head[16:24])


def cache_path(uri, flavor):
    """Where a thumbnail of uri of that flavor ("normal", "x-large") is kept."""
    name = hashlib.md5(uri.encode()).hexdigest() + ".png"
    return os.path.join(os.environ["XDG_CACHE_HOME"], "thumbnails", flavor, name)


def gnome(model, worst_case):
    gi.require_version("GnomeDesktop", "3.0")
    from gi.repository import GnomeDesktop

    sizes = {True: GnomeDesktop.DesktopThumbnailSize.NORMAL, False: GnomeDesktop.DesktopThumbnailSize.XLARGE}
    for path, wanted in ((model, True), (worst_case, False)):
        factory = GnomeDesktop.DesktopThumbnailFactory.new(sizes[wanted])
        uri = Gio.File.new_for_path(path).get_uri()
        info = Gio.File.new_for_path(path).query_info("standard::content-type,time::modified", 0, None)
        mime, mtime = info.get_content_type(), info.get_attribute_uint64("time::modified")
        if not factory.can_thumbnail(uri, mime, mtime):
            fail("GNOME's thumbnail factory has no thumbnailer for %s (%s)" % (path, mime))
        started = time.monotonic()
        try:
            picture, error = factory.generate_thumbnail(uri, mime), None
        except GLib.Error as raised:
            picture, error = None, raised
        seconds = time.monotonic() - started
        if wanted:
            if picture is None:
                fail("GNOME's thumbnail factory made no thumbnail of %s: %s" % (path, error))
            factory.save_thumbnail(picture, uri, mtime)
            saved = GnomeDesktop.desktop_thumbnail_path_for_uri(uri, GnomeDesktop.DesktopThumbnailSize.NORMAL)
            print("GNOME's thumbnail factory: %s: %d x %d picture in %.2f s, saved as %s %s"
                  % (os.path.basename(path), picture.get_width(), picture.get_height(), seconds, saved,
                     png_size(saved)))
            if (picture.get_width(), picture.get_height()) != (128, 128):
                fail("the thumbnail is not 128 x 128")
        else:
            made = "a %d x %d picture" % (picture.get_width(), picture.get_height()) if picture else None
            print("GNOME's thumbnail factory: %s at 512 x 512: %s after %.2f s"
                  % (os.path.basename(path), made or error, seconds))
            if picture is not None:
                fail("GNOME's thumbnail factory made a thumbnail of the worst case")
            # The factory's own word that the thumbnailer gave up over its budget.
            if error is None or "exited with code 5" not in error.message:
                fail("the thumbnailer did not end with its over-the-budget status 5")


def children_cpu_seconds(pid):
    """The CPU time of the children `pid` has waited for."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[13]) + int(fields[14])) / os.sysconf("SC_CLK_TCK")


def tumbler(tumblerd, model, worst_case):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    service = subprocess.Popen([tumblerd])
    try:
        deadline = time.monotonic() + 30
        while not bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                "NameHasOwner", GLib.Variant("(s)", (SERVICE,)), None, 0, -1, None)[0]:
            if time.monotonic() > deadline or service.poll() is not None:
                fail("tumblerd did not take %s on the session bus" % SERVICE)
            time.sleep(0.1)
        for path, wanted in ((model, True), (worst_case, False)):
            tumbler_one(bus, service.pid, path, wanted)
    finally:
        service.terminate()
        service.wait()


def tumbler_one(bus, service_pid, path, wanted):
    uri = Gio.File.new_for_path(path).get_uri()
    mime = Gio.File.new_for_path(path).query_info("standard::content-type", 0, None).get_content_type()
    loop = GLib.MainLoop()
    heard = []

    def on_signal(connection, sender, path_, interface, signal, parameters):
        heard.append((signal, parameters.unpack()))
        if signal == "Finished":
            loop.quit()

    subscription = bus.signal_subscribe(None, SERVICE, None, SERVICE_PATH, None, Gio.DBusSignalFlags.NONE,
                                        on_signal)
    flavor = "normal" if wanted else "x-large"
    cpu_before = children_cpu_seconds(service_pid)
    started = time.monotonic()
    bus.call_sync(SERVICE, SERVICE_PATH, SERVICE, "Queue",
                  GLib.Variant("(asasssu)", ([uri], [mime], flavor, "default", 0)), None, 0, -1, None)
    timeout = GLib.timeout_add_seconds(60, loop.quit)
    loop.run()
    GLib.source_remove(timeout)
    bus.signal_unsubscribe(subscription)
    seconds = time.monotonic() - started
    cpu = children_cpu_seconds(service_pid) - cpu_before
    said = "; ".join("%s %s" % (signal, values[1:]) for signal, values in heard if signal in ("Ready", "Error"))
    print("tumbler: %s (%s, %s): %s; %.2f s, the thumbnailer's CPU time %.2f s"
          % (os.path.basename(path), mime, flavor, said or "nothing", seconds, cpu))
    if not any(signal == "Finished" for signal, _ in heard):
        fail("tumbler did not finish within 60 s")
    thumbnail = cache_path(uri, flavor)
    if wanted:
        if not any(signal == "Ready" for signal, _ in heard) or not os.path.exists(thumbnail):
            fail("tumbler made no thumbnail of %s" % path)
        print("tumbler's thumbnail: %s %s" % (thumbnail, png_size(thumbnail)))
        if png_size(thumbnail) != (128, 128):
            fail("the thumbnail is not 128 x 128")
    else:
        if not any(signal == "Error" for signal, _ in heard) or os.path.exists(thumbnail):
            fail("tumbler did not report the worst case as a failure")
        if cpu > CPU_SECONDS_HARD_LIMIT + 0.5:
            fail("the thumbnailer took %.2f s of CPU time, over its budget" % cpu)


if __name__ == "__main__":
    if sys.argv[1] == "gnome":
        gnome(*sys.argv[2:4])
    else:
        tumbler(*sys.argv[2:5])
