#include "DefaultApplications.h"

#include "GioPointersPrivate.h"
#include "OperationError.h"

#include <QCoreApplication>
#include <QSet>

namespace DefaultApplications {

namespace {

struct AppListFree
{
    void operator()(GList *list) const { g_list_free_full(list, g_object_unref); }
};
using AppList = std::unique_ptr<GList, AppListFree>;

QString text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}

Application describe(GAppInfo *info)
{
    Application application;
    application.id = text(g_app_info_get_id(info));
    application.name = text(g_app_info_get_display_name(info));
    if (application.name.isEmpty())
        application.name = text(g_app_info_get_name(info));
    GIcon *icon = g_app_info_get_icon(info); // not ours to release
    if (icon && G_IS_THEMED_ICON(icon)) {
        for (const char *const *name = g_themed_icon_get_names(G_THEMED_ICON(icon)); name && *name; ++name)
            application.iconNames.append(text(*name));
    } else if (icon && G_IS_FILE_ICON(icon)) {
        GCharPtr path(g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon))));
        application.iconPath = text(path.get());
    }
    return application;
}

} // namespace

Choices forContentType(const QString &contentType)
{
    Choices choices;
    if (contentType.isEmpty())
        return choices;
    const QByteArray type = contentType.toUtf8();
    const AppList list(g_app_info_get_all_for_type(type.constData()));
    QSet<QString> seen;
    for (GList *node = list.get(); node; node = node->next) {
        Application application = describe(G_APP_INFO(node->data));
        if (application.id.isEmpty() || seen.contains(application.id))
            continue;
        seen.insert(application.id);
        choices.applications.append(std::move(application));
    }
    const GObjectPtr<GAppInfo> fallback(g_app_info_get_default_for_type(type.constData(), FALSE));
    if (fallback)
        choices.defaultId = text(g_app_info_get_id(fallback.get()));
    return choices;
}

void setDefault(const QString &applicationId, const QString &contentType)
{
    const QByteArray type = contentType.toUtf8();
    const AppList list(g_app_info_get_all_for_type(type.constData()));
    GAppInfo *chosen = nullptr;
    for (GList *node = list.get(); node && !chosen; node = node->next) {
        if (text(g_app_info_get_id(G_APP_INFO(node->data))) == applicationId)
            chosen = G_APP_INFO(node->data);
    }
    if (!chosen)
        throw PlatformError(G_IO_ERROR_NOT_FOUND,
                            QCoreApplication::translate("DefaultApplications", "No application “%1” opens %2.")
                                .arg(applicationId, contentType));
    GError *rawError = nullptr;
    if (!g_app_info_set_as_default_for_type(chosen, type.constData(), &rawError)) {
        const GErrorPtr error(rawError);
        throw PlatformError(error ? error->code : G_IO_ERROR_FAILED,
                            error ? text(error->message)
                                  : QCoreApplication::translate("DefaultApplications",
                                                                "The default application was not changed."));
    }
}

} // namespace DefaultApplications
