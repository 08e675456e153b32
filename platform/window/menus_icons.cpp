#include "platform/window/menus_icons.h"

#include "platform/window/dialog_window.h"
#include "platform/window/handle_table.h"
#include "platform/window/icon_store.h"
#include "platform/window/messaging.h"
#include "platform/window/resources.h"
#include "platform/window/window_registry.h"

#include <QtGlobal>
#include <limits>

namespace platform {

using detail::MenuItem;

namespace detail {

namespace {

HandleTable<HMENU, std::vector<MenuItem>>& Menus() {
    static HandleTable<HMENU, std::vector<MenuItem>> menus;
    return menus;
}

} // namespace

std::vector<MenuItem> MenuItems(HMENU menu) {
    return Menus().Get(menu).value_or(std::vector<MenuItem>{});
}

} // namespace detail

namespace {

constexpr UINT kAppend = std::numeric_limits<UINT>::max();

} // namespace

HMENU GetSystemMenu(HWND window, BOOL revert) {
    (void)revert;
    return detail::OnWindowThread(window, static_cast<HMENU>(nullptr), [window] {
        detail::DialogWindow* dialog = detail::DialogWindow::For(window);
        const DWORD style = detail::StyleOf(window);
        if (dialog == nullptr || (style & WS_SYSMENU) == 0) {
            return static_cast<HMENU>(nullptr);
        }
        HMENU& menu = dialog->State().systemMenu;
        if (menu == nullptr) {
            std::vector<MenuItem> items;
            if ((style & WS_MINIMIZEBOX) != 0) {
                items.push_back({MF_STRING, SC_MINIMIZE, "Minimize"});
            }
            items.push_back({MF_STRING, SC_CLOSE, "Close"});
            menu = detail::Menus().Add(std::move(items));
        }
        return menu;
    });
}

BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* text) {
    try {
        MenuItem item;
        item.flags = flags & ~MF_BYPOSITION;
        item.id = (flags & MF_SEPARATOR) != 0 ? 0 : id;
        item.text = (flags & MF_SEPARATOR) != 0 || text == nullptr ? "" : text;
        if ((flags & MF_BYPOSITION) == 0 || position != kAppend) {
            return FALSE;
        }
        const bool found = detail::Menus().With(
            menu, [&](std::vector<MenuItem>& items) { items.push_back(std::move(item)); });
        return found ? TRUE : FALSE;
    } catch (...) {
        qWarning("vanthe: InsertMenu: the toolkit threw; the call fails instead");
        return FALSE;
    }
}

BOOL DrawMenuBar(HWND window) {
    // The menu is built afresh each time it is shown, so there is nothing to redraw.
    return detail::IsWindow(window);
}

HICON LoadImage(HINSTANCE instance, int id, UINT type, int cx, int cy, UINT flags) {
    (void)flags;
    try {
        const IconResource* resource = detail::FindIconResource(instance, id);
        if (type != IMAGE_ICON || resource == nullptr) {
            return nullptr;
        }
        std::vector<QImage> images;
        for (const IconImage& entry : resource->images) {
            QImage image = QImage::fromData(entry.data, static_cast<int>(entry.size), "PNG");
            if (!image.isNull()) {
                images.push_back(std::move(image));
            }
        }
        if (images.empty()) {
            return nullptr;
        }
        const QImage* best = &images.front();
        if (cx > 0) {
            // The smallest image at least as wide as asked, else the largest there is.
            for (const QImage& image : images) {
                const bool fits = image.width() >= cx;
                const bool bestFits = best->width() >= cx;
                if ((fits && (!bestFits || image.width() < best->width())) ||
                    (!fits && !bestFits && image.width() > best->width())) {
                    best = &image;
                }
            }
        }
        QImage chosen = *best;
        const int width = cx > 0 ? cx : chosen.width();
        const int height = cy > 0 ? cy : chosen.height();
        if (chosen.size() != QSize(width, height)) {
            chosen = chosen.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        return detail::AddIcon(chosen);
    } catch (...) {
        qWarning("vanthe: LoadImage: the toolkit threw; the call fails instead");
        return nullptr;
    }
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    default:
        return 0;
    }
}

} // namespace platform
