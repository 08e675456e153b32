#include "platform/window/compose.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

namespace platform::detail {

namespace {

xkb_compose_table* composeTable = nullptr;

// The first of these that is set names the locale, as libxkbcommon reads it.
std::string KeyboardLocale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return "C";
}

// The compose file that X11's table of locales names for `locale`, or an empty string.
std::string ComposeFileOf(const std::string& folder, const std::string& locale) {
    std::ifstream table(folder + "/compose.dir");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string path;
        std::string name;
        if (fields >> path >> name && name == locale && !path.empty() && path[0] != '#') {
            if (path.back() == ':') {
                path.pop_back();
            }
            return folder + "/" + path;
        }
    }
    return {};
}

// libxkbcommon picks the compose table of the locale's character set. The dialog takes Unicode
// text whatever the locale, but a locale that is not UTF-8 (ISO-8859-15, KOI8-R) or that X11
// does not know has a table with few or no accented letters, and a dead key then vanishes: "é"
// typed with a dead acute goes into a password as "e", where nobody sees it. Such a locale gets
// the UTF-8 table of its language (or the general one) instead, unless the user has a compose
// file of their own. An empty answer leaves the choice to libxkbcommon.
std::string UnicodeComposeFile() {
    const char* home = std::getenv("HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string own = config != nullptr && *config != '\0' ? std::string(config) + "/XCompose"
                      : home != nullptr                    ? std::string(home) + "/.config/XCompose"
                                                           : std::string();
    if (std::getenv("XCOMPOSEFILE") != nullptr ||
        (!own.empty() && ::access(own.c_str(), F_OK) == 0) ||
        (home != nullptr && ::access((std::string(home) + "/.XCompose").c_str(), F_OK) == 0)) {
        return {};
    }
    const std::string locale = KeyboardLocale();
    const std::size_t dot = locale.find('.');
    const std::size_t at = locale.find('@');
    const std::string language = locale.substr(0, std::min(dot, at));
    if (language == "C" || language == "POSIX") {
        return {}; // libxkbcommon takes these as UTF-8
    }
    std::string codeset = dot == std::string::npos ? "" : locale.substr(dot + 1, at - dot - 1);
    codeset.erase(std::remove(codeset.begin(), codeset.end(), '-'), codeset.end());
    std::transform(codeset.begin(), codeset.end(), codeset.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const char* variable = std::getenv("XLOCALEDIR");
    const std::string folder =
        variable != nullptr && *variable != '\0' ? variable : "/usr/share/X11/locale";
    if (codeset == "utf8" && !ComposeFileOf(folder, locale).empty()) {
        return {};
    }
    std::string file = ComposeFileOf(folder, language + ".UTF-8");
    if (file.empty()) {
        file = ComposeFileOf(folder, "en_US.UTF-8");
    }
    return !file.empty() && ::access(file.c_str(), R_OK) == 0 ? file : std::string();
}

// The spacing form of a dead key: what goes in, before the key, when the key after it combines
// with nothing, as Windows and GTK do, so a password typed as "´x" is "´x" here too.
char32_t SpacingAccent(xkb_keysym_t keysym) {
    static constexpr std::pair<xkb_keysym_t, char32_t> kAccents[] = {
        {XKB_KEY_dead_grave, U'`'},          {XKB_KEY_dead_acute, U'\u00B4'},
        {XKB_KEY_dead_circumflex, U'^'},     {XKB_KEY_dead_tilde, U'~'},
        {XKB_KEY_dead_macron, U'\u00AF'},    {XKB_KEY_dead_breve, U'\u02D8'},
        {XKB_KEY_dead_abovedot, U'\u02D9'},  {XKB_KEY_dead_diaeresis, U'\u00A8'},
        {XKB_KEY_dead_abovering, U'\u02DA'}, {XKB_KEY_dead_doubleacute, U'\u02DD'},
        {XKB_KEY_dead_caron, U'\u02C7'},     {XKB_KEY_dead_cedilla, U'\u00B8'},
        {XKB_KEY_dead_ogonek, U'\u02DB'}};
    for (const auto& [dead, accent] : kAccents) {
        if (dead == keysym) {
            return accent;
        }
    }
    return 0;
}

bool handingOver = false;

void Commit(QWidget* widget, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    handingOver = true;
    QCoreApplication::sendEvent(widget, &commit);
    handingOver = false;
}

// The toolkit composes as the keys are read from the display, and hands a composed letter to
// the field at once, while the plain keys read with it wait in its queue: "P", a dead
// diaeresis and "a" read together become "äP". Whenever the display is slow to be read (a
// busy machine, a fast typist, a remote display) a password typed with dead keys goes in
// scrambled behind its mask, and a file encrypted under it cannot be opened again. So the
// layer composes itself, key by key, as each reaches the focused field. An input method the
// desktop runs (IBus, Fcitx) still takes the keys first.
class OrderedComposer final : public QObject {
public:
    OrderedComposer(xkb_compose_table* table, QApplication& application)
        : QObject(&application), state_(xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS)) {
        // It watches the focused widget alone: an application-wide filter would also look at
        // the events workers post, whose hand-over happens inside the toolkit.
        // A widget keeps the filter once it had the focus: keys reach a window's focused widget
        // also while the toolkit does not count that window as active, and the filter only acts
        // on key presses, which only the focused widget gets.
        connect(&application, &QApplication::focusChanged, this,
                [this](QWidget* /*old*/, QWidget* now) {
                    Reset(); // a sequence does not follow the focus
                    if (now != nullptr) {
                        now->installEventFilter(this);
                    }
                });
    }
    ~OrderedComposer() override { xkb_compose_state_unref(state_); }
    OrderedComposer(const OrderedComposer&) = delete;
    OrderedComposer& operator=(const OrderedComposer&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A field that takes text, and keys that came from a display.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::KeyPress || state_ == nullptr || widget == nullptr ||
            !widget->testAttribute(Qt::WA_InputMethodEnabled)) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto keysym = static_cast<xkb_keysym_t>(key->nativeVirtualKey());
        if (keysym == XKB_KEY_NoSymbol) {
            return false;
        }
        const bool pending = xkb_compose_state_get_status(state_) == XKB_COMPOSE_COMPOSING;
        // A shortcut is no letter: it ends what was pending and acts as itself.
        if ((key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
            Reset();
            return false;
        }
        // Backspace and Escape take back what is pending, and nothing more.
        if (pending && (keysym == XKB_KEY_BackSpace || keysym == XKB_KEY_Escape)) {
            Reset();
            return true;
        }
        if (xkb_compose_state_feed(state_, keysym) == XKB_COMPOSE_FEED_IGNORED) {
            return false;
        }
        switch (xkb_compose_state_get_status(state_)) {
        case XKB_COMPOSE_COMPOSING:
            ++fed_;
            if (fed_ == 1) {
                first_ = keysym;
            }
            return true;
        case XKB_COMPOSE_CANCELLED: {
            const char32_t accent = fed_ == 1 ? SpacingAccent(first_) : 0;
            Reset();
            if (accent != 0) {
                Commit(widget, QString::fromUcs4(&accent, 1));
            }
            // The key itself may start a sequence of its own: a dead key after another.
            if (xkb_compose_state_feed(state_, keysym) == XKB_COMPOSE_FEED_ACCEPTED &&
                xkb_compose_state_get_status(state_) == XKB_COMPOSE_COMPOSING) {
                fed_ = 1;
                first_ = keysym;
                return true;
            }
            Reset();
            return false;
        }
        case XKB_COMPOSE_COMPOSED: {
            // A user's own table may compose whole words.
            std::string text(static_cast<std::size_t>(
                                 std::max(xkb_compose_state_get_utf8(state_, nullptr, 0), 0)) +
                                 1,
                             '\0');
            xkb_compose_state_get_utf8(state_, text.data(), text.size());
            Reset();
            Commit(widget, QString::fromUtf8(text.c_str()));
            return true;
        }
        case XKB_COMPOSE_NOTHING:
            break;
        }
        Reset();
        return false;
    }

private:
    void Reset() {
        if (state_ != nullptr) {
            xkb_compose_state_reset(state_);
        }
        fed_ = 0;
        first_ = XKB_KEY_NoSymbol;
    }

    xkb_compose_state* state_;
    int fed_ = 0; // keys of the pending sequence
    xkb_keysym_t first_ = XKB_KEY_NoSymbol;
};

QObject* composer = nullptr;

} // namespace

void PrepareCompose() {
    // Also where QT_IM_MODULE names an input method: when it is not running, the toolkit
    // composes in its stead.
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (context == nullptr) {
        return;
    }
    const std::string file = UnicodeComposeFile();
    if (FILE* stream = file.empty() ? nullptr : std::fopen(file.c_str(), "re")) {
        composeTable = xkb_compose_table_new_from_file(context, stream, KeyboardLocale().c_str(),
                                                       XKB_COMPOSE_FORMAT_TEXT_V1,
                                                       XKB_COMPOSE_COMPILE_NO_FLAGS);
        std::fclose(stream);
    } else {
        composeTable = xkb_compose_table_new_from_locale(context, KeyboardLocale().c_str(),
                                                         XKB_COMPOSE_COMPILE_NO_FLAGS);
    }
    xkb_context_unref(context);
    if (composeTable == nullptr) {
        return;
    }
    // The toolkit's composing gets a table without a sequence: a file of one comment, which
    // stays open for as long as the process runs, since the toolkit reads it on the first key.
    static const char kNoSequences[] = "# The layer composes in order.\n";
    const int fd = ::memfd_create("vanthe-compose", MFD_CLOEXEC);
    if (fd >= 0 && ::write(fd, kNoSequences, sizeof kNoSequences - 1) ==
                       static_cast<ssize_t>(sizeof kNoSequences - 1)) {
        ::setenv("XCOMPOSEFILE", ("/proc/self/fd/" + std::to_string(fd)).c_str(), 1);
    } else {
        // The toolkit composes, ahead of the plain keys as it does; never twice.
        if (fd >= 0) {
            ::close(fd);
        }
        xkb_compose_table_unref(composeTable);
        composeTable = nullptr;
    }
}

void InstallCompose(QApplication& application) {
    if (composeTable != nullptr) {
        composer = new OrderedComposer(composeTable, application);
    }
}

bool TextFromTheFieldsOwnKeys() {
    return composer == nullptr || handingOver;
}

void ComposeInto(QWidget* field) {
    if (composer != nullptr && field != nullptr) {
        field->installEventFilter(composer);
    }
}

} // namespace platform::detail
