// x-desktop-stub [--tray]: the parts of a desktop that Xvfb lacks and the tray
// tests need, as one small X client on $DISPLAY. It reports on standard
// output, one JSON object per line (see JsonLinesProcess):
//   {"event":"ready","tray":true|false}      once it listens
//   {"event":"iconify","window":"0x..."}     a window asked to be minimised
//                                            (WM_CHANGE_STATE to IconicState,
//                                            as a window manager receives it)
//   {"event":"map","window":"0x...","iconic":true|false}
//                                            a top-level window was mapped;
//                                            iconic when its WM_HINTS ask to
//                                            start minimised
//   {"event":"dock","window":"0x..."}        with --tray: an icon asked to be
//                                            docked (SYSTEM_TRAY_REQUEST_DOCK)
// With --tray it is the system tray host: it owns _NET_SYSTEM_TRAY_S<screen>,
// announces itself with MANAGER and reparents each docked icon into its own
// (unmapped) window, so the icon is no top-level window of the program.
// It runs until it is terminated; the selection goes with its connection.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr long SystemTrayRequestDock = 0;

int ignoreErrors(Display *, XErrorEvent *)
{
    // A window may be gone before we look at it; that is no reason to end.
    return 0;
}

void report(const char *event, Window window, const char *extra = "")
{
    std::printf("{\"event\":\"%s\",\"window\":\"0x%lx\"%s}\n", event, static_cast<unsigned long>(window), extra);
    std::fflush(stdout);
}

bool startsIconic(Display *display, Window window)
{
    XWMHints *hints = XGetWMHints(display, window);
    if (!hints)
        return false;
    const bool iconic = (hints->flags & StateHint) && hints->initial_state == IconicState;
    XFree(hints);
    return iconic;
}

} // namespace

int main(int argc, char **argv)
{
    const bool tray = argc > 1 && std::strcmp(argv[1], "--tray") == 0;
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::printf("{\"event\":\"error\",\"message\":\"cannot open the display\"}\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    const Atom changeState = XInternAtom(display, "WM_CHANGE_STATE", False);
    const Atom opcode = XInternAtom(display, "_NET_SYSTEM_TRAY_OPCODE", False);
    // Minimise requests go to the root with StructureNotify (as Qt sends
    // them) or SubstructureRedirect, which belongs to a window manager.
    XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);

    Window host = 0;
    if (tray) {
        const std::string selectionName = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
        const Atom selection = XInternAtom(display, selectionName.c_str(), False);
        host = XCreateSimpleWindow(display, root, 0, 0, 200, 24, 0, 0, 0);
        XSetSelectionOwner(display, selection, host, CurrentTime);
        if (XGetSelectionOwner(display, selection) != host) {
            std::printf("{\"event\":\"error\",\"message\":\"the tray selection is taken\"}\n");
            return 1;
        }
        XEvent manager {};
        manager.xclient.type = ClientMessage;
        manager.xclient.window = root;
        manager.xclient.message_type = XInternAtom(display, "MANAGER", False);
        manager.xclient.format = 32;
        manager.xclient.data.l[0] = CurrentTime;
        manager.xclient.data.l[1] = static_cast<long>(selection);
        manager.xclient.data.l[2] = static_cast<long>(host);
        XSendEvent(display, root, False, StructureNotifyMask, &manager);
    }
    XSync(display, False);
    std::printf("{\"event\":\"ready\",\"tray\":%s}\n", tray ? "true" : "false");
    std::fflush(stdout);

    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.event == root) {
            const Window window = event.xmap.window;
            report("map", window, startsIconic(display, window) ? ",\"iconic\":true" : ",\"iconic\":false");
        } else if (event.type == ClientMessage && event.xclient.message_type == changeState
                   && event.xclient.data.l[0] == IconicState) {
            report("iconify", event.xclient.window);
        } else if (tray && event.type == ClientMessage && event.xclient.window == host
                   && event.xclient.message_type == opcode && event.xclient.data.l[1] == SystemTrayRequestDock) {
            const Window icon = static_cast<Window>(event.xclient.data.l[2]);
            XReparentWindow(display, icon, host, 0, 0);
            XSync(display, False);
            report("dock", icon);
        }
    }
}
