#pragma once

// Dead keys and Compose sequences, composed in the order their keys come. Internal to the layer.

class QApplication;
class QWidget;

namespace platform::detail {

// Before the application object exists: chooses the compose table, and leaves the toolkit's
// own composing nothing to compose with.
void PrepareCompose();
// Once it exists: composes for every text field of the application that takes the focus.
void InstallCompose(QApplication& application);
// Composes for a field from the start, also where its window gets keys before the toolkit
// counts it as active.
void ComposeInto(QWidget* field);
// Whether an input method's text that reaches a field now comes from the field's own keys: true
// while the layer hands over what it composed, and wherever the toolkit composes instead.
bool TextFromTheFieldsOwnKeys();

} // namespace platform::detail
