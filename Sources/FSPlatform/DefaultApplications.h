#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The applications that open a kind of file, and the default one, as the
// desktop's MIME-apps rules decide them (GIO, so every other program sees the
// same choice). Queries read the desktop files and mimeapps.list of the local
// disk only; they are safe on any thread.
namespace DefaultApplications {

struct Application
{
    QString id;   // desktop file id, "org.example.Viewer.desktop"
    QString name; // shown name
    // The icon: theme names to try in order, or a file.
    QStringList iconNames;
    QString iconPath;
};

struct Choices
{
    // Every application that can open `contentType`, recommended and other
    // ones alike, in GIO's order, each once.
    QList<Application> applications;
    // Id of the default application; empty when there is none.
    QString defaultId;
};

// Empty choices for an empty or unknown type.
Choices forContentType(const QString &contentType);

// Makes the application with desktop file id `applicationId` the default for
// the whole `contentType`, written to the user's mimeapps.list. Throws
// PlatformError with GIO's code and message.
void setDefault(const QString &applicationId, const QString &contentType);

} // namespace DefaultApplications
