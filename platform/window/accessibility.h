#pragma once

// What a screen reader, or any program of the session that listens on the desktop's
// accessibility bus, learns of a dialog. Internal to the layer.

class QWidget;

namespace platform::detail {

// Once per process, before the first dialog's controls exist: a password edit's changes are
// told as its mask characters, never as the characters typed; and the layer's radio buttons,
// whose group the layer keeps itself, are told as radio buttons, not as check boxes.
void InstallAccessibilityRules();

// Names a dialog's controls as a screen reader needs them: an edit by the label above it or to
// its left, and a button whose text has no letter (". . .") by the field beside it as well.
void NameControlsForScreenReaders(QWidget* dialog);

} // namespace platform::detail
