// Xlib for what SDL cannot do: layered (per-pixel alpha, click-through)
// windows, the compositing-manager query and the desktop's Xft.dpi. Kept apart
// from the Windows-shaped headers, whose names collide with Xlib's.
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace gui {
namespace {

struct Layered {
    Display* display = nullptr;
    ::Window window = 0;
    Visual* visual = nullptr;
    Colormap colormap = 0;
    GC gc = nullptr;
    int width = 1;
    int height = 1;
    int x = 0;
    int y = 0;
};

}  // namespace

void* LayeredCreate(const char* displayName) {
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return nullptr;
    int screen = DefaultScreen(display);
    XVisualInfo info;
    if (!XMatchVisualInfo(display, screen, 32, TrueColor, &info)) {
        XCloseDisplay(display);
        return nullptr;
    }
    auto* layered = new Layered;
    layered->display = display;
    layered->visual = info.visual;
    ::Window root = RootWindow(display, screen);
    layered->colormap = XCreateColormap(display, root, info.visual, AllocNone);
    XSetWindowAttributes attrs;
    std::memset(&attrs, 0, sizeof attrs);
    attrs.colormap = layered->colormap;
    attrs.border_pixel = 0;
    attrs.background_pixel = 0;
    attrs.override_redirect = True;
    layered->window =
        XCreateWindow(display, root, 0, 0, 1, 1, 0, 32, InputOutput, info.visual,
                      CWColormap | CWBorderPixel | CWBackPixel | CWOverrideRedirect, &attrs);
    // An empty input shape: clicks reach whatever lies below (WS_EX_TRANSPARENT).
    XShapeCombineRectangles(display, layered->window, ShapeInput, 0, 0, nullptr, 0, ShapeSet,
                            Unsorted);
    layered->gc = XCreateGC(display, layered->window, 0, nullptr);
    XFlush(display);
    return layered;
}

void LayeredUpdate(void* handle, int x, int y, int width, int height, const uint32_t* pixels) {
    auto* l = static_cast<Layered*>(handle);
    if (!l || width <= 0 || height <= 0)
        return;
    if (width != l->width || height != l->height || x != l->x || y != l->y) {
        XMoveResizeWindow(l->display, l->window, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
        l->width = width;
        l->height = height;
        l->x = x;
        l->y = y;
    }
    // XDestroyImage frees the data with free().
    size_t bytes = static_cast<size_t>(width) * height * 4;
    char* data = static_cast<char*>(std::malloc(bytes));
    if (!data)
        return;
    std::memcpy(data, pixels, bytes);
    XImage* image =
        XCreateImage(l->display, l->visual, 32, ZPixmap, 0, data, static_cast<unsigned>(width),
                     static_cast<unsigned>(height), 32, width * 4);
    if (!image) {
        std::free(data);
        return;
    }
    XPutImage(l->display, l->window, l->gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XDestroyImage(image);
    XFlush(l->display);
}

namespace {

int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

// The ancestor of a window that is a child of the root (a window manager's
// frame, or the window itself without one); 0 when it cannot be found.
::Window TopLevelAncestor(Display* display, ::Window window) {
    for (int depth = 0; window && depth < 16; ++depth) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        if (parent == root)
            return window;
        window = parent;
    }
    return 0;
}

// A shadow lies directly below the window it follows (or below all windows
// when that one is unknown).
void StackBelow(Layered* l, unsigned long owner) {
    ::Window sibling = owner ? TopLevelAncestor(l->display, owner) : 0;
    if (!sibling) {
        XLowerWindow(l->display, l->window);
        return;
    }
    XSync(l->display, False);
    auto previous = XSetErrorHandler(IgnoreErrors);  // a vanished sibling is no reason to exit
    XWindowChanges changes;
    std::memset(&changes, 0, sizeof changes);
    changes.sibling = sibling;
    changes.stack_mode = Below;
    XConfigureWindow(l->display, l->window, CWSibling | CWStackMode, &changes);
    XSync(l->display, False);
    XSetErrorHandler(previous);
}

}  // namespace

namespace {

XErrorHandler g_previousErrorHandler = nullptr;

// SDL wakes its waiting UI thread by sending an event to one of its windows
// over a second connection; when the UI thread destroys that window at the
// same moment, the server may see the destruction first and answer BadWindow,
// which Xlib's default handler turns into an exit. A wake-up that reaches no
// window is harmless; every other error goes on as before.
int ToleratingErrorHandler(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow && error->request_code == X_SendEvent)
        return 0;
    return g_previousErrorHandler ? g_previousErrorHandler(display, error) : 0;
}

}  // namespace

void X11TolerateLateWakeups() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    g_previousErrorHandler = XSetErrorHandler(ToleratingErrorHandler);
}

void LayeredShow(void* handle, bool show, unsigned long owner) {
    auto* l = static_cast<Layered*>(handle);
    if (!l)
        return;
    if (show) {
        XMapWindow(l->display, l->window);
        StackBelow(l, owner);
    } else {
        XUnmapWindow(l->display, l->window);
    }
    XFlush(l->display);
}

void LayeredMove(void* handle, int x, int y) {
    auto* l = static_cast<Layered*>(handle);
    if (!l || (x == l->x && y == l->y))
        return;
    l->x = x;
    l->y = y;
    XMoveWindow(l->display, l->window, x, y);
    XFlush(l->display);
}

void LayeredDestroy(void* handle) {
    auto* l = static_cast<Layered*>(handle);
    if (!l)
        return;
    XFreeGC(l->display, l->gc);
    XDestroyWindow(l->display, l->window);
    XFreeColormap(l->display, l->colormap);
    XCloseDisplay(l->display);
    delete l;
}

bool X11CompositionEnabled(const char* displayName) {
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return false;
    char name[32];
    std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", DefaultScreen(display));
    Atom atom = XInternAtom(display, name, False);
    bool owned = XGetSelectionOwner(display, atom) != None;
    XCloseDisplay(display);
    return owned;
}

int X11ResourceDpi(const char* displayName) {
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return 0;
    int dpi = 0;
    if (const char* resources = XResourceManagerString(display)) {
        const char* at = std::strstr(resources, "Xft.dpi:");
        if (at)
            dpi = static_cast<int>(std::strtod(at + 8, nullptr) + 0.5);
    }
    XCloseDisplay(display);
    return dpi > 0 && dpi < 1000 ? dpi : 0;
}

}  // namespace gui
