#include "platform/window/messaging.h"

#include "platform/window/window_registry.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

using detail::WindowRecord;
using detail::WindowRegistry;
using detail::WithRecord;

namespace {

bool IsChildStyle(LONG style) {
    return (static_cast<DWORD>(style) & WS_CHILD) != 0;
}

// DWLP_MSGRESULT, DWLP_DLGPROC and DWLP_USER are consecutive pointer-sized words.
LONG_PTR* DialogWord(WindowRecord& record, int index) {
    constexpr int kWord = static_cast<int>(sizeof(LONG_PTR));
    const bool known = index >= DWLP_MSGRESULT && index <= DWLP_USER && index % kWord == 0;
    return known ? &record.dialogWords[index / kWord] : nullptr;
}

} // namespace

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    detail::Deliver(window, message, wParam, lParam, nullptr, &result);
    return result;
}

LONG_PTR GetWindowLongPtr(HWND window, int index) {
    return WithRecord(window, LONG_PTR{0}, [index](WindowRecord& record) -> LONG_PTR {
        switch (index) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(record.proc);
        case GWL_STYLE:
            return record.style;
        case GWL_EXSTYLE:
            return record.exStyle;
        default:
            const LONG_PTR* word = DialogWord(record, index);
            return word != nullptr ? *word : 0;
        }
    });
}

LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value) {
    bool announce = false;
    const LONG_PTR previous = WithRecord(window, LONG_PTR{0}, [&](WindowRecord& record) {
        LONG_PTR old = 0;
        if (index == GWLP_WNDPROC) {
            old = reinterpret_cast<LONG_PTR>(record.proc);
            record.proc = reinterpret_cast<WNDPROC>(value);
        } else if (index == GWL_EXSTYLE) {
            old = record.exStyle;
            record.exStyle = static_cast<LONG>(value);
            announce = true;
        } else if (LONG_PTR* word = DialogWord(record, index)) {
            old = *word;
            *word = value;
        }
        return old;
    });
    if (announce) {
        STYLESTRUCT change;
        change.styleOld = static_cast<DWORD>(previous);
        change.styleNew = static_cast<DWORD>(value);
        SendMessage(window, WM_STYLECHANGED, static_cast<WPARAM>(index),
                    reinterpret_cast<LPARAM>(&change));
    }
    return previous;
}

LONG GetWindowLong(HWND window, int index) {
    if (index == GWLP_WNDPROC) {
        return 0;
    }
    return static_cast<LONG>(GetWindowLongPtr(window, index));
}

LONG SetWindowLong(HWND window, int index, LONG value) {
    if (index == GWLP_WNDPROC) {
        return 0;
    }
    return static_cast<LONG>(SetWindowLongPtr(window, index, value));
}

LRESULT CallWindowProc(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (proc == nullptr) {
        return 0;
    }
    try {
        return proc(window, message, wParam, lParam);
    } catch (...) {
        std::fputs("vanthe: CallWindowProc: the toolkit threw; the call fails instead\n", stderr);
        return 0;
    }
}

HWND GetParent(HWND window) {
    return WithRecord(window, HWND{nullptr}, [](const WindowRecord& record) {
        const DWORD style = static_cast<DWORD>(record.style);
        return (style & (WS_CHILD | WS_POPUP)) != 0 ? record.parent : nullptr;
    });
}

HWND GetWindow(HWND window, UINT relation) {
    return WithRecord(window, HWND{nullptr}, [window, relation](const WindowRecord& record) {
        if (relation == GW_CHILD) {
            return record.children.empty() ? nullptr : record.children.front();
        }
        if (relation == GW_OWNER) {
            return IsChildStyle(record.style) ? nullptr : record.parent;
        }
        const WindowRecord* parent = IsChildStyle(record.style)
                                         ? WindowRegistry::Instance().FindLocked(record.parent)
                                         : nullptr;
        if (parent == nullptr) {
            return HWND{nullptr};
        }
        const std::vector<HWND>& siblings = parent->children;
        const auto it = std::find(siblings.begin(), siblings.end(), window);
        if (it == siblings.end()) {
            return HWND{nullptr};
        }
        if (relation == GW_HWNDNEXT) {
            return it + 1 != siblings.end() ? *(it + 1) : nullptr;
        }
        return relation == GW_HWNDPREV && it != siblings.begin() ? *(it - 1) : nullptr;
    });
}

HWND GetDlgItem(HWND dialog, int id) {
    return WithRecord(dialog, HWND{nullptr}, [id](const WindowRecord& record) {
        for (HWND child : record.children) {
            const WindowRecord* control = WindowRegistry::Instance().FindLocked(child);
            if (control != nullptr && static_cast<int>(control->id) == id) {
                return child;
            }
        }
        return HWND{nullptr};
    });
}

int GetDlgCtrlID(HWND window) {
    return WithRecord(window, 0, [](const WindowRecord& record) {
        return IsChildStyle(record.style) ? static_cast<int>(record.id) : 0;
    });
}

} // namespace platform
