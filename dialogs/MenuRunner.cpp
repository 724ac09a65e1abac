#include "dialogs/MenuRunner.h"

#include <QMenu>

namespace {
MenuHandler& Handler() {
    static MenuHandler handler;
    return handler;
}
} // namespace

QAction* RunPopupMenu(QMenu& menu, const QPoint& at) {
    MenuHandler handler = Handler();  // a copy: a chosen command may open menus that replace it
    if (!handler)
        return menu.exec(at);
    return handler(menu);
}

MenuHandler SetMenuHandler(MenuHandler handler) {
    MenuHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}
