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

// How the password requests of one mount were answered so far.
struct Asking
{
    const CredentialsProvider *provider = nullptr;
    QString server;
    QString share;
    // Moved on by the time the provider took: the user's typing is not the
    // server's silence.
    Clock::time_point *deadline = nullptr;
    bool hasTriedAnonymous = false;
    bool hasTriedGuest = false;
    int attempts = 0;
    bool wasCancelled = false;
    bool wasRefused = false;
};

QString fromUtf8(const gchar *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

void setText(GMountOperation *operation, void (*setter)(GMountOperation *, const char *), const QString &text)
{
    setter(operation, text.toUtf8().constData());
}

// False when the provider cancelled or every attempt is spent.
bool askProvider(Asking &asking, GMountOperation *operation, const gchar *message, const gchar *defaultUser,
                 const gchar *defaultDomain, GAskPasswordFlags flags)
{
    if (asking.attempts == maxCredentialAttempts) {
        asking.wasRefused = true;
        return false;
    }
    CredentialsRequest request;
    request.server = asking.server;
    request.share = asking.share;
    request.message = fromUtf8(message);
    request.defaultUser = fromUtf8(defaultUser);
    request.defaultDomain = fromUtf8(defaultDomain);
    request.needsUser = flags & G_ASK_PASSWORD_NEED_USERNAME;
    request.needsDomain = flags & G_ASK_PASSWORD_NEED_DOMAIN;
    request.needsPassword = flags & G_ASK_PASSWORD_NEED_PASSWORD;
    request.canRemember = flags & G_ASK_PASSWORD_SAVING_SUPPORTED;
    request.attempt = ++asking.attempts;

    const Clock::time_point asked = Clock::now();
    const std::optional<Credentials> answer = (*asking.provider)(request);
    *asking.deadline += Clock::now() - asked;
    if (!answer) {
        asking.wasCancelled = true;
        return false;
    }
    g_mount_operation_set_anonymous(operation, FALSE);
    setText(operation, g_mount_operation_set_username, answer->user);
    setText(operation, g_mount_operation_set_password, answer->password);
    setText(operation, g_mount_operation_set_domain, answer->domain.isEmpty() ? request.defaultDomain : answer->domain);
    g_mount_operation_set_password_save(operation, answer->remember && request.canRemember
                                                       ? G_PASSWORD_SAVE_PERMANENTLY
                                                       : G_PASSWORD_SAVE_NEVER);
    return true;
}

void answerPasswordRequest(GMountOperation *operation, gchar *message, gchar *defaultUser, gchar *defaultDomain,
                           GAskPasswordFlags flags, gpointer data)
{
    auto &asking = *static_cast<Asking *>(data);
    // The backend may ask once more after a cancel (gvfs does once a share of
    // the server was mounted before); the user's cancel stands.
    if (asking.wasCancelled) {
        g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
        return;
    }
    // A server that turned an answer down asks again; answering the same way
    // forever would only run out the clock.
    if ((flags & G_ASK_PASSWORD_ANONYMOUS_SUPPORTED) && !asking.hasTriedAnonymous) {
        asking.hasTriedAnonymous = true;
        g_mount_operation_set_anonymous(operation, TRUE);
        g_mount_operation_set_password_save(operation, G_PASSWORD_SAVE_NEVER);
    } else if (asking.provider && *asking.provider) {
        if (!askProvider(asking, operation, message, defaultUser, defaultDomain, flags)) {
            g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
            return;
        }
    } else if (!asking.hasTriedGuest) {
        asking.hasTriedGuest = true;
        g_mount_operation_set_anonymous(operation, FALSE);
        g_mount_operation_set_username(operation, "guest");
        g_mount_operation_set_password(operation, "");
        if (defaultDomain)
            g_mount_operation_set_domain(operation, defaultDomain);
        g_mount_operation_set_password_save(operation, G_PASSWORD_SAVE_NEVER);
    } else {
        g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
        return;
    }
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
// deadline passed. The deadline may move on while the context runs.
bool runUntilFinished(GMainContext *context, const PendingCall &call, GCancellable *cancellable,
                      const Clock::time_point &deadline)
{
    auto waitUntil = [&](const Clock::time_point &end) {
        while (!call.isFinished && Clock::now() < end) {
            const auto span = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
            bool hasExpired = false;
            const GSourcePtr timer(g_timeout_source_new(guint(std::max<qint64>(span.count(), 0))));
            g_source_set_callback(timer.get(), setFlag, &hasExpired, nullptr);
            g_source_attach(timer.get(), context);
            while (!call.isFinished && !hasExpired)
                g_main_context_iteration(context, TRUE);
            g_source_destroy(timer.get());
        }
    };
    waitUntil(deadline);
    if (call.isFinished)
        return false;
    g_cancellable_cancel(cancellable);
    waitUntil(Clock::now() + graceAfterCancel);
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

static_assert(cancelledErrorCode == G_IO_ERROR_CANCELLED);

PlatformError cancelledError()
{
    return PlatformError(G_IO_ERROR_CANCELLED, QCoreApplication::translate("ShareMounter", "The connection was cancelled."));
}

PlatformError refusedError()
{
    return PlatformError(G_IO_ERROR_PERMISSION_DENIED,
                         QCoreApplication::translate("ShareMounter", "The server refused the user name or password."));
}

} // namespace

QList<QUrl> mount(const QString &uri, std::chrono::milliseconds timeout, const CredentialsProvider &credentials)
{
    Clock::time_point deadline = Clock::now() + timeout;

    // The calls report on this thread's own context, so the caller's thread is
    // the only one that waits and no other loop has to run for us.
    const GMainContextPtr context(g_main_context_new());
    g_main_context_push_thread_default(context.get());
    const auto popContext = qScopeGuard([&] { g_main_context_pop_thread_default(context.get()); });

    const GObjectPtr<GFile> location(g_file_new_for_uri(uri.toUtf8().constData()));
    const GObjectPtr<GCancellable> cancellable(g_cancellable_new());
    const GObjectPtr<GMountOperation> operation(g_mount_operation_new());
    const QUrl address(uri);
    Asking asking;
    asking.provider = &credentials;
    asking.server = address.host();
    asking.share = address.path().section(QLatin1Char('/'), 1, 1);
    asking.deadline = &deadline;
    g_signal_connect(operation.get(), "ask-password", G_CALLBACK(answerPasswordRequest), &asking);
    g_signal_connect(operation.get(), "ask-question", G_CALLBACK(declineQuestion), nullptr);
    // The backend may keep the operation alive past this call.
    const auto disconnect = qScopeGuard([&] {
        g_signal_handlers_disconnect_by_data(operation.get(), &asking);
    });

    const auto mounting = std::make_shared<PendingCall>();
    g_file_mount_enclosing_volume(location.get(), G_MOUNT_MOUNT_NONE, operation.get(), cancellable.get(),
                                  onMounted, callbackReference(mounting));
    const bool mountTimedOut = runUntilFinished(context.get(), *mounting, cancellable.get(), deadline);
    if (asking.wasCancelled)
        throw cancelledError();
    if (!mounting->isFinished || (mountTimedOut && mounting->error))
        throw timedOutError();
    if (asking.wasRefused && mounting->error)
        throw refusedError();
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
