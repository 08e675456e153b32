#include "platform/window/file_dialogs.h"

#include "platform/window/gui_application.h"
#include "platform/window/modal_loop_scope.h"
#include "platform/window/modal_owner_scope.h"
#include "platform/window/text_copy.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <QtGlobal>
#include <cstring>

namespace platform {

namespace {

// "Text files\0*.txt;*.text\0All\0*\0\0" becomes "Text files (*.txt *.text)" and "All (*)".
QStringList NameFilters(const char* filter) {
    QStringList filters;
    while (filter != nullptr && *filter != '\0') {
        const char* name = filter;
        const char* patterns = name + std::strlen(name) + 1;
        if (*patterns == '\0') {
            break;
        }
        filters << QStringLiteral("%1 (%2)").arg(
            QString::fromUtf8(name),
            QString::fromUtf8(patterns).replace(QLatin1Char(';'), QLatin1Char(' ')));
        filter = patterns + std::strlen(patterns) + 1;
    }
    return filters;
}

bool KnownSize(DWORD size) {
    return size == OPENFILENAME_SIZE_VERSION_400 || size == OPENFILENAME_SIZE_VERSION_500 ||
           size == sizeof(OPENFILENAME);
}

} // namespace

BOOL GetOpenFileName(OPENFILENAME* request) {
    if (request == nullptr || !KnownSize(request->lStructSize)) {
        return FALSE;
    }
    try {
        if (detail::EnsureApplication() == nullptr || !detail::IsGuiThread() ||
            request->lpstrFile == nullptr || request->nMaxFile == 0) {
            return FALSE;
        }
        // The toolkit's own dialog, not the desktop's: it behaves the same everywhere, and a
        // test can answer it.
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((request->Flags & OFN_FILEMUSTEXIST) != 0 ? QFileDialog::ExistingFile
                                                                     : QFileDialog::AnyFile);
        if (request->lpstrTitle != nullptr) {
            dialog.setWindowTitle(QString::fromUtf8(request->lpstrTitle));
        }
        const QStringList filters = NameFilters(request->lpstrFilter);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            if (request->nFilterIndex > 0 && request->nFilterIndex <= filters.size()) {
                dialog.selectNameFilter(
                    filters.at(static_cast<qsizetype>(request->nFilterIndex - 1)));
            }
        }
        const QString initial = QString::fromUtf8(request->lpstrFile);
        if (request->lpstrInitialDir != nullptr && *request->lpstrInitialDir != '\0') {
            dialog.setDirectory(QString::fromUtf8(request->lpstrInitialDir));
        } else if (!initial.isEmpty()) {
            dialog.setDirectory(QFileInfo(initial).absolutePath());
        }
        if (!initial.isEmpty()) {
            dialog.selectFile(QFileInfo(initial).fileName());
        }
        if (request->lpstrDefExt != nullptr && *request->lpstrDefExt != '\0') {
            dialog.setDefaultSuffix(QString::fromUtf8(request->lpstrDefExt));
        }

        int answer = QDialog::Rejected;
        {
            detail::ModalLoopScope loopScope;
            detail::ModalOwnerScope ownerScope(request->hwndOwner, &dialog);
            answer = dialog.exec();
        }
        const QStringList chosen = dialog.selectedFiles();
        if (answer != QDialog::Accepted || chosen.isEmpty()) {
            return FALSE;
        }
        const QString path = QDir::toNativeSeparators(chosen.first());
        const QByteArray bytes = path.toUtf8();
        if (static_cast<DWORD>(bytes.size()) + 1 > request->nMaxFile) {
            return FALSE;
        }
        detail::CopyToBuffer(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
            request->lpstrFile, request->nMaxFile);
        const QByteArray name = QFileInfo(path).fileName().toUtf8();
        const auto nameOffset = static_cast<std::size_t>(bytes.size() - name.size());
        request->nFileOffset = static_cast<WORD>(nameOffset);
        const qsizetype dot = name.lastIndexOf('.');
        request->nFileExtension =
            dot >= 0 ? static_cast<WORD>(nameOffset + static_cast<std::size_t>(dot) + 1) : 0;
        if (request->lpstrFileTitle != nullptr && request->nMaxFileTitle > 0) {
            detail::CopyToBuffer(
                std::string_view(name.constData(), static_cast<std::size_t>(name.size())),
                request->lpstrFileTitle, request->nMaxFileTitle);
        }
        return TRUE;
    } catch (...) {
        qWarning("vanthe: GetOpenFileName: the toolkit threw; the call fails instead");
        return FALSE;
    }
}

} // namespace platform
