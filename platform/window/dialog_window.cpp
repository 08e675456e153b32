#include "platform/window/dialog_window.h"

#include "platform/window/menus_icons.h"
#include "platform/window/messaging.h"
#include "platform/window/window_registry.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QImage>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace platform::detail {

namespace {

std::vector<QPointer<DialogWindow>>& RunningDialogs() {
    static std::vector<QPointer<DialogWindow>> dialogs;
    return dialogs;
}

QRgb ToRgb(COLORREF color) {
    return qRgb(GetRValue(color), GetGValue(color), GetBValue(color));
}

using Runs = std::vector<std::pair<int, int>>;

// The pixels of image that are not exactly key, as bands of rows with equal runs: the banded
// rectangle list a region is made of, so it is built in one pass.
QRegion KeptRegion(const QImage& image, QRgb key) {
    const int width = image.width();
    const int height = image.height();
    std::vector<QRect> rects;
    Runs band;
    Runs runs;
    int bandTop = 0;
    const auto closeBand = [&](int bottom) {
        for (const auto& [left, right] : band) {
            rects.emplace_back(left, bandTop, right - left, bottom - bandTop);
        }
    };
    for (int y = 0; y < height; ++y) {
        runs.clear();
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width;) {
            while (x < width && line[x] == key) {
                ++x;
            }
            const int start = x;
            while (x < width && line[x] != key) {
                ++x;
            }
            if (x > start) {
                runs.emplace_back(start, x);
            }
        }
        if (y == 0 || runs != band) {
            closeBand(y);
            band.swap(runs);
            bandTop = y;
        }
    }
    closeBand(height);
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

} // namespace

DialogWindow::DialogWindow(Qt::WindowFlags flags) : QWidget(nullptr, flags) {}

DialogWindow::~DialogWindow() {
    // Destroyed while its modal loop runs: the loop ends, without a result of its own.
    if (state_.loop != nullptr) {
        state_.loop->exit();
    }
}

bool DialogWindow::SeesThroughKey(COLORREF color) const {
    return testAttribute(Qt::WA_TranslucentBackground) &&
           (state_.layeredFlags & LWA_COLORKEY) != 0 && color == state_.colorKey &&
           (static_cast<DWORD>(GetWindowLongPtr(handle_, GWL_EXSTYLE)) & WS_EX_LAYERED) != 0;
}

void DialogWindow::ScheduleMaskUpdate() {
    // A translucent window shows its key as transparent pixels and needs no shape.
    if (state_.maskUpdatePending || state_.renderingMask ||
        testAttribute(Qt::WA_TranslucentBackground)) {
        return;
    }
    state_.maskUpdatePending = true;
    // Deferred and coalesced: a burst of invalidations costs one render. A render takes the
    // dialog's thread a millisecond or more, and a job's worker waits on that thread for every
    // chunk, so renders come at most about 30 times a second.
    constexpr std::chrono::milliseconds kMaskInterval(33);
    const auto since = std::chrono::steady_clock::now() - state_.lastMaskUpdate;
    const auto delay =
        since >= kMaskInterval
            ? std::chrono::milliseconds(0)
            : std::chrono::duration_cast<std::chrono::milliseconds>(kMaskInterval - since);
    QTimer::singleShot(delay, this, [this] { UpdateMask(); });
}

void DialogWindow::UpdateMask() {
    state_.maskUpdatePending = false;
    state_.lastMaskUpdate = std::chrono::steady_clock::now();
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtr(handle_, GWL_EXSTYLE));
    if ((exStyle & WS_EX_LAYERED) == 0 || (state_.layeredFlags & LWA_COLORKEY) == 0) {
        clearMask();
        return;
    }
    // Render what the window would show without its mask, in logical pixels, and keep every
    // pixel that is not exactly the key.
    QImage image(size(), QImage::Format_RGB32);
    image.setDevicePixelRatio(1.0);
    state_.renderingMask = true;
    render(&image, QPoint(), QRegion(),
           QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
    state_.renderingMask = false;
    const QRegion region = KeptRegion(image, ToRgb(state_.colorKey));
    const QRegion before = mask().isEmpty() ? QRegion(rect()) : mask();
    if (region == QRegion(rect())) {
        clearMask();
    } else {
        if (mask().isEmpty() && state_.keyedSurface == KeyedSurface::Shape) {
            HoldStillWhenReframed(*this);
        }
        setMask(region);
    }
    // The toolkit paints nothing of a window outside its shape: a part the shape shows anew
    // still holds what it showed when it was last painted (the key, under a fill that has moved
    // on since), so it is painted now.
    const QRegion shown = region - before;
    if (!shown.isEmpty()) {
        update(shown);
    }
}

void DialogWindow::ShowSystemMenu(const QPoint& globalPosition, LPARAM lParam, bool byKeyboard) {
    const HMENU systemMenu = GetSystemMenu(handle_, FALSE);
    if (systemMenu == nullptr || !isEnabled()) {
        return;
    }
    QMenu menu(this);
    for (const MenuItem& item : MenuItems(systemMenu)) {
        if ((item.flags & MF_SEPARATOR) != 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromStdString(item.text));
        action->setData(QVariant::fromValue(static_cast<qulonglong>(item.id)));
        action->setEnabled((item.flags & (MF_GRAYED | MF_DISABLED)) == 0);
    }
    const QPointer<DialogWindow> self(this);
    if (byKeyboard) {
        // Once the menu is up: it takes no active item before.
        QTimer::singleShot(0, &menu, [&menu] { menu.setActiveAction(menu.actions().value(0)); });
    }
    QAction* chosen = menu.exec(globalPosition);
    if (chosen != nullptr && self) {
        SendMessage(handle_, WM_SYSCOMMAND, static_cast<WPARAM>(chosen->data().toULongLong()),
                    lParam);
    }
}

DialogWindow* DialogWindow::For(HWND window) {
    return dynamic_cast<DialogWindow*>(WidgetFor(window));
}

DialogWindow* DialogWindow::Innermost() {
    auto& dialogs = RunningDialogs();
    for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it) {
        if (*it) {
            return it->data();
        }
    }
    return nullptr;
}

void DialogWindow::PushRunning(DialogWindow* dialog) {
    RunningDialogs().emplace_back(dialog);
}

void DialogWindow::PopRunning(DialogWindow* dialog) {
    auto& dialogs = RunningDialogs();
    dialogs.erase(std::remove_if(dialogs.begin(), dialogs.end(),
                                 [dialog](const QPointer<DialogWindow>& running) {
                                     return !running || running.data() == dialog;
                                 }),
                  dialogs.end());
}

void DialogWindow::paintEvent(QPaintEvent* event) {
    // The toolkit has filled the background already, except on a translucent window; the
    // procedure paints on top of it.
    QPainter painter(this);
    if (testAttribute(Qt::WA_TranslucentBackground)) {
        painter.fillRect(event->rect(), palette().window());
    }
    state_.painter = &painter;
    state_.paintRect = event->rect();
    ++state_.paintSerial;
    SendMessage(handle_, WM_PAINT, 0, 0);
    state_.painter = nullptr;
    ++state_.paintSerial;
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // The dialog ends only through EndDialog; closing is a request to its procedure.
    event->ignore();
    if (isEnabled()) {
        SendMessage(handle_, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    // The keyboard's menu keys are handled as keys; a right click counts only on the bare
    // surface, not over a control.
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse && childAt(event->pos()) == nullptr) {
        const QPoint at = event->globalPos();
        ShowSystemMenu(at, MAKELPARAM(static_cast<WORD>(at.x()), static_cast<WORD>(at.y())), false);
    }
}

void DialogWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ScheduleMaskUpdate();
}

} // namespace platform::detail
