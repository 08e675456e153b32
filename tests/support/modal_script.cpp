#include "modal_script.h"

#include "platform/window/dialogs.h"
#include "qt_bridge.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <gtest/gtest.h>

namespace vanthe::test {

ModalScript::ModalScript(std::chrono::milliseconds deadline)
    : deadline_(std::chrono::steady_clock::now() + deadline) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
}

ModalScript::~ModalScript() {
    timer_.stop();
    if (!failed_ && !steps_.empty()) {
        ADD_FAILURE() << "modal script ended before step \"" << steps_.front().what << "\" ran";
    }
}

ModalScript& ModalScript::When(std::string what, std::function<bool()> ready,
                               std::function<void()> action) {
    steps_.push_back({std::move(what), std::move(ready), std::move(action)});
    return *this;
}

void ModalScript::Tick() {
    if (failed_) {
        BailOut();
        return;
    }
    if (std::chrono::steady_clock::now() > deadline_) {
        failed_ = true;
        ADD_FAILURE() << "modal script stalled"
                      << (steps_.empty() ? std::string()
                                         : " waiting for \"" + steps_.front().what + "\"");
        steps_.clear();
        BailOut();
        return;
    }
    if (running_ || steps_.empty() || !steps_.front().ready()) {
        return;
    }
    running_ = true;
    std::function<void()> action = std::move(steps_.front().action);
    steps_.pop_front();
    // From a fresh event: this timer does not fire again while its own handler runs, and the
    // action may open a modal loop.
    QTimer::singleShot(0, &timer_, [this, action = std::move(action)] {
        running_ = false;
        action();
    });
}

void ModalScript::BailOut() {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    } else if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        modal->reject();
    } else if (platform::HWND dialog = platform::RunningDialog()) {
        platform::EndDialog(dialog, -2);
    } else {
        timer_.stop();
    }
}

QWidget* FocusedWidget() {
    if (QWidget* focused = QApplication::focusWidget()) {
        return focused;
    }
    return QApplication::activeWindow();
}

QMenu* ActivePopupMenu() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

} // namespace vanthe::test
