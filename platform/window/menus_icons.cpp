#include "platform/window/menus_icons.h"

#include "platform/window/dialog_window.h"
#include "platform/window/gui_application.h"
#include "platform/window/handle_table.h"
#include "platform/window/icon_store.h"
#include "platform/window/menu_store.h"
#include "platform/window/messaging.h"
#include "platform/window/resources.h"
#include "platform/window/text_copy.h"
#include "platform/window/window_object.h"

#include <QGuiApplication>
#include <QScreen>
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

HandleTable<HICON, QImage>& Icons() {
    static HandleTable<HICON, QImage> icons;
    return icons;
}

} // namespace

HMENU CreateMenuHandle(std::vector<MenuItem> items) {
    return Menus().Add(std::move(items));
}

std::vector<MenuItem> MenuItems(HMENU menu) {
    return Menus().Get(menu).value_or(std::vector<MenuItem>{});
}

bool DestroyMenuHandle(HMENU menu) {
    return Menus().Remove(menu);
}

HICON AddIcon(const QImage& image) {
    return Icons().Add(image);
}

QImage IconImageOf(HICON icon) {
    return Icons().Get(icon).value_or(QImage());
}

} // namespace detail

namespace {

constexpr UINT kAppend = std::numeric_limits<UINT>::max();

detail::DialogWindow* DialogFor(HWND window) {
    return dynamic_cast<detail::DialogWindow*>(detail::WidgetFor(window));
}

} // namespace

HMENU GetSystemMenu(HWND window, BOOL revert) {
    return detail::OnWindowThread(window, static_cast<HMENU>(nullptr), [window, revert] {
        detail::DialogWindow* dialog = DialogFor(window);
        const DWORD style = static_cast<DWORD>(GetWindowLong(window, GWL_STYLE));
        if (dialog == nullptr || (style & WS_SYSMENU) == 0) {
            return static_cast<HMENU>(nullptr);
        }
        HMENU& menu = dialog->State().systemMenu;
        if (revert != FALSE) {
            detail::DestroyMenuHandle(menu);
            menu = nullptr;
            return static_cast<HMENU>(nullptr);
        }
        if (menu == nullptr) {
            std::vector<MenuItem> items;
            if ((style & WS_MINIMIZEBOX) != 0) {
                items.push_back({MF_STRING, SC_MINIMIZE, "Minimize"});
            }
            items.push_back({MF_STRING, SC_CLOSE, "Close"});
            menu = detail::CreateMenuHandle(std::move(items));
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
        bool inserted = false;
        const bool found = detail::Menus().With(menu, [&](std::vector<MenuItem>& items) {
            auto at = items.end();
            if ((flags & MF_BYPOSITION) != 0) {
                if (position != kAppend && position < items.size()) {
                    at = items.begin() + position;
                }
            } else {
                at = std::find_if(items.begin(), items.end(), [position](const MenuItem& existing) {
                    return existing.id == position;
                });
                if (at == items.end()) {
                    return;
                }
            }
            items.insert(at, std::move(item));
            inserted = true;
        });
        return found && inserted ? TRUE : FALSE;
    } catch (...) {
        qWarning("vanthe: InsertMenu: the toolkit threw; the call fails instead");
        return FALSE;
    }
}

BOOL DrawMenuBar(HWND window) {
    // The menu is built afresh each time it is shown, so there is nothing to redraw.
    return IsWindow(window);
}

int GetMenuItemCount(HMENU menu) {
    const auto items = detail::Menus().Get(menu);
    return items ? static_cast<int>(items->size()) : -1;
}

int GetMenuString(HMENU menu, UINT item, char* buffer, int maxCount, UINT flags) {
    const auto items = detail::Menus().Get(menu);
    if (!items) {
        return 0;
    }
    const MenuItem* found = nullptr;
    if ((flags & MF_BYPOSITION) != 0) {
        found = item < items->size() ? &(*items)[item] : nullptr;
    } else {
        for (const MenuItem& entry : *items) {
            if (entry.id == item && (entry.flags & MF_SEPARATOR) == 0) {
                found = &entry;
                break;
            }
        }
    }
    if (found == nullptr) {
        return 0;
    }
    if (buffer == nullptr || maxCount <= 0) {
        return static_cast<int>(found->text.size());
    }
    return static_cast<int>(
        detail::CopyToBuffer(found->text, buffer, static_cast<std::size_t>(maxCount)));
}

HICON LoadImage(HINSTANCE instance, int id, UINT type, int cx, int cy, UINT flags) {
    try {
        const IconResource* resource = FindIconResource(instance, id);
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
        if (cx == 0 && (flags & LR_DEFAULTSIZE) != 0) {
            cx = GetSystemMetrics(SM_CXICON);
        }
        if (cy == 0 && (flags & LR_DEFAULTSIZE) != 0) {
            cy = GetSystemMetrics(SM_CYICON);
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
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
        if (!detail::HaveApplication() || !detail::IsGuiThread()) {
            return 0;
        }
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) {
            return 0;
        }
        return index == SM_CXSCREEN ? screen->geometry().width() : screen->geometry().height();
    }
    default:
        return 0;
    }
}

} // namespace platform
