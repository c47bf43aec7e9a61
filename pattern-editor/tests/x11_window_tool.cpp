// A small helper of the smoke test, speaking to the X server directly:
//   x11_window_tool find TITLE   prints "ID X Y WIDTH HEIGHT" of the window
//                                with that title, or fails
//   x11_window_tool close ID     asks the window to close, as a window
//                                manager's close box does
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A window may go away while the tree is read (the program makes and drops
// windows of its own as it starts); that is no failure of the tool, and
// the default handler would end it.
int ignoreErrors(Display*, XErrorEvent*) {
  return 0;
}

Window findByTitle(Display* display, Window window, const char* title) {
  char* name = nullptr;
  if (XFetchName(display, window, &name) && name) {
    const bool match = std::strcmp(name, title) == 0;
    XFree(name);
    if (match) return window;
  }
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) found = findByTitle(display, children[i], title);
  if (children) XFree(children);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s find TITLE | close ID\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 1;
  const std::string command = argv[1];
  int status = 1;
  XSetErrorHandler(ignoreErrors);
  if (command == "find") {
    // The tree holds still while it is read.
    XGrabServer(display);
    const Window window = findByTitle(display, DefaultRootWindow(display), argv[2]);
    XWindowAttributes attributes{};
    int x = 0;
    int y = 0;
    Window child = 0;
    if (window && XGetWindowAttributes(display, window, &attributes) &&
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child)) {
      std::printf("%lu %d %d %d %d\n", window, x, y, attributes.width, attributes.height);
      status = 0;
    }
    XUngrabServer(display);
  } else if (command == "close") {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::strtoul(argv[2], nullptr, 10);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    status = XSendEvent(display, event.xclient.window, False, NoEventMask, &event) ? 0 : 1;
    XFlush(display);
  }
  XCloseDisplay(display);
  return status;
}
