#include "ShareMounter.h"

#include "GioPointersPrivate.h"
#include "OperationError.h"
#include "PathCodec.h"

#include <QCoreApplication>
#include <QScopeGuard>

#include <algorithm>
#include <memory>

namespace ShareMounter {

namespace {

using Clock = std::chrono::steady_clock;

// A cancelled GIO call still reports once; this is how long to wait for that
// before leaving a backend that ignores cancellation behind.
constexpr std::chrono::milliseconds graceAfterCancel{5000};

// What one asynchronous GIO call hands back. Shared with the callback, which a
// backend that ignores cancellation could run after the caller has given up.
struct PendingCall
{
    bool isFinished = false;
    GErrorPtr error;
    GObjectPtr<GMount> mount;
};
using PendingCallRef = std::shared_ptr<PendingCall>;

// The callback's own reference, released when it runs.
gpointer callbackReference(const PendingCallRef &call)
{
    return new PendingCallRef(call);
}

void onMounted(GObject *source, GAsyncResult *result, gpointer data)
{
    const std::unique_ptr<PendingCallRef> call(static_cast<PendingCallRef *>(data));
    GError *error = nullptr;
    if (!g_file_mount_enclosing_volume_finish(G_FILE(source), result, &error))
        (*call)->error.reset(error);
    (*call)->isFinished = true;
}

void onEnclosingMountFound(GObject *source, GAsyncResult *result, gpointer data)
{
    const std::unique_ptr<PendingCallRef> call(static_cast<PendingCallRef *>(data));
    GError *error = nullptr;
    (*call)->mount.reset(g_file_find_enclosing_mount_finish(G_FILE(source), result, &error));
    (*call)->error.reset(error);
    (*call)->isFinished = true;
}

struct Credentials
{
    bool hasTriedAnonymous = false;
    bool hasTriedGuest = false;
};

void answerPasswordRequest(GMountOperation *operation, gchar *, gchar *, gchar *defaultDomain,
                           GAskPasswordFlags flags, gpointer data)
{
    auto *credentials = static_cast<Credentials *>(data);
    // A server that turned both down asks again; answering the same way
    // forever would only run out the clock.
    if ((flags & G_ASK_PASSWORD_ANONYMOUS_SUPPORTED) && !credentials->hasTriedAnonymous) {
        credentials->hasTriedAnonymous = true;
        g_mount_operation_set_anonymous(operation, TRUE);
    } else if (!credentials->hasTriedGuest) {
        credentials->hasTriedGuest = true;
        g_mount_operation_set_anonymous(operation, FALSE);
        g_mount_operation_set_username(operation, "guest");
        g_mount_operation_set_password(operation, "");
        if (defaultDomain)
            g_mount_operation_set_domain(operation, defaultDomain);
    } else {
        g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
        return;
    }
    g_mount_operation_set_password_save(operation, G_PASSWORD_SAVE_NEVER);
    g_mount_operation_reply(operation, G_MOUNT_OPERATION_HANDLED);
}

void declineQuestion(GMountOperation *operation, gchar *, GStrv, gpointer)
{
    g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
}

gboolean setFlag(gpointer flag)
{
    *static_cast<bool *>(flag) = true;
    return G_SOURCE_REMOVE;
}

// Iterates `context` until `call` finishes or `deadline` passes, then cancels
// and waits a little for the call to report its cancellation. True when the
// deadline passed.
bool runUntilFinished(GMainContext *context, const PendingCall &call, GCancellable *cancellable,
                      Clock::time_point deadline)
{
    auto waitFor = [&](std::chrono::milliseconds span) {
        bool hasExpired = false;
        const GSourcePtr timer(g_timeout_source_new(guint(std::max<qint64>(span.count(), 0))));
        g_source_set_callback(timer.get(), setFlag, &hasExpired, nullptr);
        g_source_attach(timer.get(), context);
        while (!call.isFinished && !hasExpired)
            g_main_context_iteration(context, TRUE);
    };
    waitFor(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
    if (call.isFinished)
        return false;
    g_cancellable_cancel(cancellable);
    waitFor(graceAfterCancel);
    return true;
}

PlatformError timedOutError()
{
    return PlatformError(G_IO_ERROR_TIMED_OUT,
                         QCoreApplication::translate("ShareMounter", "The server did not answer in time."));
}

PlatformError platformError(const GError &error)
{
    // Only GIO's own codes mean anything to a caller; other domains count as
    // a plain failure.
    const int code = error.domain == G_IO_ERROR ? error.code : int(G_IO_ERROR_FAILED);
    return PlatformError(code, QString::fromUtf8(error.message));
}

QList<QUrl> localUrl(GFile *file)
{
    const GCharPtr path(g_file_get_path(file));
    if (!path)
        return {};
    return {PathCodec::urlForPath(PathCodec::decode(QByteArray(path.get())))};
}

} // namespace

QList<QUrl> mount(const QString &uri, std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;

    // The calls report on this thread's own context, so the caller's thread is
    // the only one that waits and no other loop has to run for us.
    const GMainContextPtr context(g_main_context_new());
    g_main_context_push_thread_default(context.get());
    const auto popContext = qScopeGuard([&] { g_main_context_pop_thread_default(context.get()); });

    const GObjectPtr<GFile> location(g_file_new_for_uri(uri.toUtf8().constData()));
    const GObjectPtr<GCancellable> cancellable(g_cancellable_new());
    const GObjectPtr<GMountOperation> operation(g_mount_operation_new());
    Credentials credentials;
    g_signal_connect(operation.get(), "ask-password", G_CALLBACK(answerPasswordRequest), &credentials);
    g_signal_connect(operation.get(), "ask-question", G_CALLBACK(declineQuestion), nullptr);
    // The backend may keep the operation alive past this call.
    const auto disconnect = qScopeGuard([&] {
        g_signal_handlers_disconnect_by_data(operation.get(), &credentials);
    });

    const auto mounting = std::make_shared<PendingCall>();
    g_file_mount_enclosing_volume(location.get(), G_MOUNT_MOUNT_NONE, operation.get(), cancellable.get(),
                                  onMounted, callbackReference(mounting));
    const bool mountTimedOut = runUntilFinished(context.get(), *mounting, cancellable.get(), deadline);
    if (!mounting->isFinished || (mountTimedOut && mounting->error))
        throw timedOutError();
    if (mounting->error && !g_error_matches(mounting->error.get(), G_IO_ERROR, G_IO_ERROR_ALREADY_MOUNTED))
        throw platformError(*mounting->error);

    const auto finding = std::make_shared<PendingCall>();
    g_file_find_enclosing_mount_async(location.get(), G_PRIORITY_DEFAULT, cancellable.get(),
                                      onEnclosingMountFound, callbackReference(finding));
    runUntilFinished(context.get(), *finding, cancellable.get(), deadline);
    if (!finding->mount)
        return localUrl(location.get());
    const GObjectPtr<GFile> root(g_mount_get_root(finding->mount.get()));
    return localUrl(root.get());
}

} // namespace ShareMounter
