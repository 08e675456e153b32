#include "platform/window/file_dialogs.h"

#include "platform/window/cross_thread_send.h"
#include "platform/window/modal_owner.h"
#include "platform/window/startup.h"
#include "platform/window/text_copy.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QMimeType>
#include <QStyle>
#include <QtGlobal>

namespace platform {

namespace {

// Kinds and icons by a file's name alone. The toolkit's own read each file's first bytes, which
// waits on a file another program holds a lease on (a hostile user's, up to the system's
// lease-break time for each) and is slow for every file of a network folder. The toolkit calls
// it from a thread of its own as well.
class NameOnlyIconProvider final : public QFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override {
        if (!info.isFile()) {
            return QFileIconProvider::icon(info);
        }
        if (info.isSymLink()) {
            return QApplication::style()->standardIcon(QStyle::SP_FileLinkIcon);
        }
        const QMimeType kind = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
        return QIcon::fromTheme(
            kind.iconName(),
            QIcon::fromTheme(kind.genericIconName(), QFileIconProvider::icon(IconType::File)));
    }
    QString type(const QFileInfo& info) const override {
        if (!info.isFile()) {
            return QFileIconProvider::type(info);
        }
        const QMimeType kind = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
        return kind.comment().isEmpty() ? kind.name() : kind.comment();
    }
};

} // namespace

BOOL GetOpenFileName(OPENFILENAME* request) {
    if (request == nullptr || request->lStructSize != sizeof(OPENFILENAME)) {
        return FALSE;
    }
    try {
        if (!detail::EnsureApplication() || !detail::IsGuiThread() ||
            request->lpstrFile == nullptr || request->nMaxFile == 0) {
            return FALSE;
        }
        // The toolkit's own dialog, not the desktop's: it behaves the same everywhere, and a
        // test can answer it.
        NameOnlyIconProvider kinds; // outlives the dialog, which uses it to the end
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setIconProvider(&kinds);
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
