#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// `tidewright [FOLDER | FILE]…`: each argument is a path (relative ones from
// the folder the command ran in) or a file URI, as desktop launchers pass them.
namespace CommandLine {

struct Arguments
{
    // In argument order, in the one URL form; missing items are left out.
    QList<QUrl> urls;
    // One message per argument that names nothing that exists, or no local file.
    QStringList errors;
    // Started by the session bus to answer a call: no window of its own.
    bool isService = false;
    // Print how long the first window took to appear and to show its folder, then quit.
    bool measuresStartup = false;
};

Arguments parse(const QStringList &arguments, const QString &workingDirectory);

} // namespace CommandLine
