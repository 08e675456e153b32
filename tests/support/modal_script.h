#pragma once

// Driving code that sits in a modal loop: the test queues steps before it calls the code,
// and each step runs from inside the loop once its condition holds. Conditions are polled by
// a timer from the event loop (no sleeps). A script that stalls fails the test and ends every
// modal loop it can find, so no test hangs.

#include <QPointer>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <string>

class QMenu;
class QWidget;

namespace vanthe::test {

class ModalScript {
public:
    explicit ModalScript(std::chrono::milliseconds deadline = std::chrono::seconds(15));
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;
    ~ModalScript();

    // Runs action once ready() holds. Actions run one at a time, each from a fresh event, so
    // an action may itself open a modal loop and later steps still run inside it.
    ModalScript& When(std::string what, std::function<bool()> ready, std::function<void()> action);

    bool Finished() const { return steps_.empty() && !running_; }

private:
    struct Step {
        std::string what;
        std::function<bool()> ready;
        std::function<void()> action;
    };

    void Tick();
    void BailOut();

    std::deque<Step> steps_;
    QTimer timer_;
    std::chrono::steady_clock::time_point deadline_;
    bool running_ = false;
    bool failed_ = false;
};

// The widget that has the keyboard focus (or the active window when none has).
QWidget* FocusedWidget();
// The application's active modal widget if it is a T.
template <typename T>
T* ActiveModal();
QMenu* ActivePopupMenu();

} // namespace vanthe::test

#include <QApplication>

namespace vanthe::test {

template <typename T>
T* ActiveModal() {
    return qobject_cast<T*>(QApplication::activeModalWidget());
}

} // namespace vanthe::test
