#include "VolumeEjector.h"

#include "GioPointersPrivate.h"
#include "GvfsMounts.h"
#include "MountTable.h"
#include "PathCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>

#include <memory>

QString EjectError::localizedDescription() const
{
    switch (m_code) {
    case volumeInUse:
        return QCoreApplication::translate(
                   "VolumeEjector",
                   "“%1” can’t be ejected because it is in use. Close the files and programs that use it, then try again.")
            .arg(m_volumeName);
    case notEjectable:
        return QCoreApplication::translate("VolumeEjector", "“%1” can’t be ejected.").arg(m_volumeName);
    }
    return {};
}

namespace VolumeEjector {

namespace {

// Shared by the GIO callbacks of one request; the finish callback owns it.
struct EjectRequest
{
    QString volumeName;
    QPointer<QObject> context;
    bool hasContext = false;
    Completion completion;
    GObjectPtr<GMountOperation> operation;
    bool isEject = false;
    bool wasShownBlockingProcesses = false;

    void finish(const std::optional<QString> &message)
    {
        if (hasContext && !context)
            return;
        if (completion)
            completion(message);
    }
};

void declineShowProcesses(GMountOperation *operation, gchar *, GArray *, GStrv, gpointer data)
{
    static_cast<EjectRequest *>(data)->wasShownBlockingProcesses = true;
    g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
}

void declineQuestion(GMountOperation *operation, gchar *, GStrv, gpointer)
{
    g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
}

void declinePassword(GMountOperation *operation, gchar *, gchar *, gchar *, GAskPasswordFlags, gpointer)
{
    g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
}

void onFinished(GObject *source, GAsyncResult *result, gpointer data)
{
    const std::unique_ptr<EjectRequest> request(static_cast<EjectRequest *>(data));
    g_signal_handlers_disconnect_by_data(request->operation.get(), request.get());
    GError *rawError = nullptr;
    const bool succeeded = request->isEject
                               ? g_mount_eject_with_operation_finish(G_MOUNT(source), result, &rawError)
                               : g_mount_unmount_with_operation_finish(G_MOUNT(source), result, &rawError);
    const GErrorPtr error(rawError);
    if (succeeded) {
        request->finish(std::nullopt);
        return;
    }
    const int code = error && error->domain == G_IO_ERROR ? error->code : int(G_IO_ERROR_FAILED);
    // umount(8) ends its words with a line break.
    const QString message = error ? QString::fromUtf8(error->message).trimmed() : QString();
    request->finish(failureMessage(code, message, request->wasShownBlockingProcesses, request->volumeName));
}

void reportNotEjectable(std::unique_ptr<EjectRequest> request)
{
    request->finish(EjectError(EjectError::notEjectable, request->volumeName).localizedDescription());
}

void onMountFound(GObject *source, GAsyncResult *result, gpointer data)
{
    std::unique_ptr<EjectRequest> request(static_cast<EjectRequest *>(data));
    GError *rawError = nullptr;
    const GObjectPtr<GMount> mount(g_file_find_enclosing_mount_finish(G_FILE(source), result, &rawError));
    const GErrorPtr error(rawError);
    if (!mount) {
        reportNotEjectable(std::move(request));
        return;
    }
    request->operation.reset(g_mount_operation_new());
    EjectRequest *raw = request.get();
    g_signal_connect(raw->operation.get(), "show-processes", G_CALLBACK(declineShowProcesses), raw);
    g_signal_connect(raw->operation.get(), "ask-question", G_CALLBACK(declineQuestion), raw);
    g_signal_connect(raw->operation.get(), "ask-password", G_CALLBACK(declinePassword), raw);
    raw->isEject = g_mount_can_eject(mount.get());
    GMountOperation *operation = raw->operation.get();
    if (raw->isEject)
        g_mount_eject_with_operation(mount.get(), G_MOUNT_UNMOUNT_NONE, operation, nullptr, onFinished,
                                     request.release());
    else
        g_mount_unmount_with_operation(mount.get(), G_MOUNT_UNMOUNT_NONE, operation, nullptr, onFinished,
                                       request.release());
}

} // namespace

bool canEject(const QUrl &root, bool isNetwork)
{
    if (isNetwork)
        return true;
    const QString path = root.toLocalFile();
    for (const QString &folder : {QStringLiteral("/media"), QStringLiteral("/run/media"), GvfsMounts::fuseFolder(),
                                  QDir::cleanPath(QDir::homePath())}) {
        if (MountTable::isAtOrBelow(path, folder) && path != folder)
            return true;
    }
    return false;
}

void eject(const QUrl &root, const QString &volumeName, QObject *context, Completion completion)
{
    auto request = std::make_unique<EjectRequest>();
    request->volumeName = volumeName;
    request->context = context;
    request->hasContext = context != nullptr;
    request->completion = std::move(completion);

    // The desktop's own mount of that folder. For a share this goes by the
    // gvfs bridge's path, which GIO turns back into the share's address, and
    // asks gvfs, not the share; the answer comes on this thread's loop.
    const GObjectPtr<GFile> location(g_file_new_for_path(PathCodec::encodePath(root).constData()));
    g_file_find_enclosing_mount_async(location.get(), G_PRIORITY_DEFAULT, nullptr, onMountFound, request.release());
}

std::optional<QString> failureMessage(int gioCode, const QString &gioMessage, bool wasShownBlockingProcesses,
                                      const QString &volumeName)
{
    if (wasShownBlockingProcesses || gioCode == G_IO_ERROR_BUSY)
        return EjectError(EjectError::volumeInUse, volumeName).localizedDescription();
    // "Handled" means a question was declined, here by us: nobody has told
    // the user anything yet.
    if (gioCode == G_IO_ERROR_FAILED_HANDLED || gioMessage.isEmpty())
        return EjectError(EjectError::notEjectable, volumeName).localizedDescription();
    return gioMessage;
}

} // namespace VolumeEjector
