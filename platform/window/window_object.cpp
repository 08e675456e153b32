#include "platform/window/window_object.h"

#include <QVariant>

namespace platform::detail {

namespace {

const char* const kHandleProperty = "vantheWindowHandle";

// The handle is gone at once; the widget goes once the event being handled is done with it,
// since a window may well be destroyed from one of its own handlers.
void DeleteWindowObject(HWND, void* peer) {
    auto* object = static_cast<WindowObject*>(peer);
    if (QWidget* widget = object->widget) {
        widget->hide();
        widget->deleteLater();
    }
    delete object;
}

} // namespace

HWND RegisterWidget(QWidget* widget, WindowKind kind, WindowCreation creation) {
    auto* object = new WindowObject;
    object->kind = kind;
    object->widget = widget;
    creation.peer = object;
    creation.onDestroyed = &DeleteWindowObject;
    const HWND handle = WindowRegistry::Instance().Register(creation);
    object->handle = handle;
    widget->setProperty(kHandleProperty, QVariant::fromValue(FromHandle(handle)));
    return handle;
}

WindowObject* ObjectFor(HWND window) {
    return static_cast<WindowObject*>(WindowRegistry::Instance().PeerIfOwned(window));
}

QWidget* WidgetFor(HWND window) {
    const WindowObject* object = ObjectFor(window);
    return object != nullptr ? object->widget.data() : nullptr;
}

HWND HandleFor(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        const QVariant value = widget->property(kHandleProperty);
        if (value.isValid()) {
            return ToHandle(value.value<std::uintptr_t>());
        }
        if (widget->isWindow()) {
            break;
        }
    }
    return nullptr;
}

} // namespace platform::detail
