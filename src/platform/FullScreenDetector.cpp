#include "platform/FullScreenDetector.h"

#include <QGuiApplication>
#include <QWidget>
#include <xcb/xcb.h>

#include <cstdlib>
#include <vector>

namespace FullScreenDetector {
namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    auto cookie = xcb_intern_atom(c, 1, static_cast<uint16_t>(strlen(name)), name);
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!r) return XCB_ATOM_NONE;
    xcb_atom_t a = r->atom;
    free(r);
    return a;
}

std::vector<uint32_t> cardinalList(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop,
                                   xcb_atom_t type) {
    std::vector<uint32_t> out;
    auto cookie = xcb_get_property(c, 0, w, prop, type, 0, 4096);
    xcb_get_property_reply_t* r = xcb_get_property_reply(c, cookie, nullptr);
    if (!r) return out;
    if (r->format == 32) {
        auto* data = static_cast<uint32_t*>(xcb_get_property_value(r));
        const int n = xcb_get_property_value_length(r) / 4;
        out.assign(data, data + n);
    }
    free(r);
    return out;
}

}  // namespace

QList<QRect> fullScreenWindowFrames() {
    QList<QRect> frames;
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return frames;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t clientList = atom(c, "_NET_CLIENT_LIST");
    const xcb_atom_t wmState = atom(c, "_NET_WM_STATE");
    const xcb_atom_t fullscreen = atom(c, "_NET_WM_STATE_FULLSCREEN");
    if (clientList == XCB_ATOM_NONE || wmState == XCB_ATOM_NONE || fullscreen == XCB_ATOM_NONE)
        return frames;
    for (uint32_t w : cardinalList(c, root, clientList, XCB_ATOM_WINDOW)) {
        bool isFull = false;
        for (uint32_t s : cardinalList(c, w, wmState, XCB_ATOM_ATOM))
            if (s == fullscreen) isFull = true;
        if (!isFull) continue;
        auto geo = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
        if (!geo) continue;
        auto tr = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, root, 0, 0),
                                                  nullptr);
        const int x = tr ? tr->dst_x : geo->x;
        const int y = tr ? tr->dst_y : geo->y;
        frames.append(QRect(x, y, geo->width, geo->height));
        free(tr);
        free(geo);
    }
    return frames;
}

bool isWindowFullScreen(const QWidget* window) {
    // The window manager's full-screen state (_NET_WM_STATE_FULLSCREEN, which
    // Qt mirrors in the window state); a maximised window is never taken for
    // one, even where no panel makes it smaller than the screen.
    return window && (window->windowState() & Qt::WindowFullScreen);
}

}  // namespace FullScreenDetector
