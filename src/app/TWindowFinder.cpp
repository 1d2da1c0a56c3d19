#include "app/TWindowFinder.h"

#include "core/TPlatformRules.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

#if QT_CONFIG(xcb) && defined(MAILVANE_HAVE_XCB)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

bool TWindowFinder::Exists(const QString& title)
{
    if (ExistsOwn(title)) {
        return true;
    }
    // Under Wayland (XWayland included) other programs' windows are out of sight.
    return TPlatformRules::ForeignWindowsVisible(QGuiApplication::platformName()) && ExistsOnX11(title);
}

bool TWindowFinder::ExistsOwn(const QString& title)
{
    const auto widgets = QApplication::topLevelWidgets();
    for (const QWidget* w : widgets) {
        if (w->windowTitle() == title && !w->testAttribute(Qt::WA_DontShowOnScreen)) {
            return true;
        }
    }
    return false;
}

#if QT_CONFIG(xcb) && defined(MAILVANE_HAVE_XCB)
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    XcbReply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<uint16_t>(qstrlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type)
{
    if (prop == XCB_ATOM_NONE) {
        return {};
    }
    XcbReply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, 1024), nullptr));
    if (!r || r->type == XCB_ATOM_NONE) {
        return {};
    }
    return QByteArray(static_cast<const char*>(xcb_get_property_value(r.get())),
                      xcb_get_property_value_length(r.get()));
}

struct Atoms {
    xcb_atom_t netWmName;
    xcb_atom_t utf8;
};

bool matches(xcb_connection_t* c, xcb_window_t w, const Atoms& a, const QString& title)
{
    XcbReply<xcb_get_window_attributes_reply_t> attr(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
    if (!attr || attr->map_state != XCB_MAP_STATE_VIEWABLE) {
        return false;
    }
    QByteArray name = property(c, w, a.netWmName, a.utf8);
    if (!name.isEmpty()) {
        return QString::fromUtf8(name) == title;
    }
    name = property(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
    return !name.isEmpty() && QString::fromLatin1(name) == title;
}

bool searchTree(xcb_connection_t* c, xcb_window_t w, const Atoms& a, const QString& title, int depth)
{
    if (depth > 6) {
        return false;
    }
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
    if (!tree) {
        return false;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int n = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < n; ++i) {
        // Window managers wrap clients in frame windows, so look below each child too.
        if (matches(c, children[i], a, title) || searchTree(c, children[i], a, title, depth + 1)) {
            return true;
        }
    }
    return false;
}

} // namespace
#endif

bool TWindowFinder::ExistsOnX11(const QString& title)
{
#if QT_CONFIG(xcb) && defined(MAILVANE_HAVE_XCB)
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        return false;
    }
    xcb_connection_t* c = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    const Atoms a{atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING")};
    const xcb_atom_t clientList = atom(c, "_NET_CLIENT_LIST");
    for (; it.rem; xcb_screen_next(&it)) {
        const xcb_window_t root = it.data->root;
        const QByteArray list = property(c, root, clientList, XCB_ATOM_WINDOW);
        if (!list.isEmpty()) {
            const auto* wins = reinterpret_cast<const xcb_window_t*>(list.constData());
            const int n = list.size() / int(sizeof(xcb_window_t));
            for (int i = 0; i < n; ++i) {
                if (matches(c, wins[i], a, title)) {
                    return true;
                }
            }
        } else if (searchTree(c, root, a, title, 0)) {
            return true;
        }
    }
    return false;
#else
    Q_UNUSED(title);
    return false;
#endif
}
