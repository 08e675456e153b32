#pragma once

// Dead keys and Compose sequences, composed in the order their keys come. Internal to the layer.

class QApplication;

namespace platform::detail {

// Before the application object exists: chooses the compose table, and leaves the toolkit's
// own composing nothing to compose with.
void PrepareCompose();
// Once it exists: composes for every text field of the application.
void InstallCompose(QApplication& application);

} // namespace platform::detail
