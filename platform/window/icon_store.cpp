#include "platform/window/icon_store.h"

#include "platform/window/handle_table.h"

namespace platform::detail {

namespace {

HandleTable<HICON, QImage>& Icons() {
    static HandleTable<HICON, QImage> icons;
    return icons;
}

} // namespace

HICON AddIcon(const QImage& image) {
    return Icons().Add(image);
}

QImage IconImageOf(HICON icon) {
    return Icons().Get(icon).value_or(QImage());
}

} // namespace platform::detail
