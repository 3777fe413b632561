#include "FileDropHandler.h"

#include "DisplayNameText.h"
#include "FilePasteboard.h"

#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSCore/FileOperations.h"
#include "FSPlatform/MountTable.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>

namespace FileDropHandler {

namespace {

QString cleanPath(const QUrl &url)
{
    return PathCodec::urlForPath(url.toLocalFile()).toLocalFile();
}

QUrl parentOf(const QUrl &url)
{
    const QString path = cleanPath(url);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return PathCodec::urlForPath(slash <= 0 ? QStringLiteral("/") : path.left(slash));
}

bool isInPlace(const QUrl &source, const QUrl &destinationFolder)
{
    return parentOf(source) == PathCodec::urlForPath(destinationFolder.toLocalFile());
}

} // namespace

QList<QUrl> sources(const QMimeData *data)
{
    QList<QUrl> urls;
    for (const QUrl &url : FilePasteboard::fileURLs(data)) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            urls.append(url);
    }
    return urls;
}

bool isSameOrInside(const QUrl &folder, const QUrl &source)
{
    const QString sourcePath = cleanPath(source);
    const QString folderPath = cleanPath(folder);
    if (folderPath == sourcePath)
        return true;
    const QString prefix = sourcePath.endsWith(QLatin1Char('/')) ? sourcePath : sourcePath + QLatin1Char('/');
    return folderPath.startsWith(prefix);
}

Qt::DropAction proposedAction(const QList<QUrl> &sources, const QUrl &destinationFolder,
                              const DragModifierTracker &tracker)
{
    if (sources.isEmpty() || !destinationFolder.isLocalFile())
        return Qt::IgnoreAction;
    bool isAllInPlace = true;
    for (const QUrl &source : sources) {
        if (isSameOrInside(destinationFolder, source))
            return Qt::IgnoreAction;
        isAllInPlace = isAllInPlace && isInPlace(source, destinationFolder);
    }
    const DragOperationKind kind = tracker.resolve(sources.first(), destinationFolder);
    if (kind == DragOperationKind::move && isAllInPlace)
        return Qt::IgnoreAction;
    return kind == DragOperationKind::copy ? Qt::CopyAction : Qt::MoveAction;
}

namespace {

// What the progress panel calls the drop before the volumes are asked: the
// mount table tells them apart without waiting on either.
FileJob::Kind likelyKind(const QUrl &source, const QUrl &destinationFolder, const DragModifierTracker &tracker)
{
    if (tracker.optionHeld())
        return FileJob::Kind::copy;
    if (tracker.commandHeld())
        return FileJob::Kind::move;
    const QList<MountEntry> table = MountTable::read();
    const std::optional<MountEntry> from = MountTable::entryHolding(table, source.toLocalFile());
    const std::optional<MountEntry> to = MountTable::entryHolding(table, destinationFolder.toLocalFile());
    return from && to && from->mountPoint == to->mountPoint ? FileJob::Kind::move : FileJob::Kind::copy;
}

} // namespace

bool perform(const QList<QUrl> &sources, const QUrl &destinationFolder, const DragModifierTracker &tracker,
             QWidget *window, std::function<void(const Result &result)> finished)
{
    if (!destinationFolder.isLocalFile())
        return false;
    Result refused;
    QList<QUrl> items;
    for (const QUrl &source : sources) {
        if (!source.isLocalFile())
            continue;
        if (isSameOrInside(destinationFolder, source)) {
            refused.failures.append({source, FileOperationError(tracker.optionHeld() ? FileOperationError::copyIntoItself
                                                                                     : FileOperationError::moveIntoItself)
                                                 .localizedDescription()});
            continue;
        }
        // Moved where it lies, an item would only be renamed "Name 2".
        if (isInPlace(source, destinationFolder) && !tracker.optionHeld())
            continue;
        items.append(source);
    }
    if (items.isEmpty()) {
        if (window)
            showFailures(refused, window);
        return false;
    }

    FileJob *job = new FileJob(likelyKind(items.first(), destinationFolder, tracker), items, destinationFolder);
    job->setItemKind([tracker](const QUrl &item, const QUrl &folder) -> std::optional<FileJob::Kind> {
        return tracker.resolve(item, folder) == DragOperationKind::copy ? FileJob::Kind::copy : FileJob::Kind::move;
    });
    FileJobQueue::shared()->add(job, job,
                     [refused, window = QPointer<QWidget>(window), finished = std::move(finished)](const FileJobResult &done) {
                         Result result = refused;
                         for (const FileJobSuccess &success : done.succeeded)
                             result.placed.append(success.result);
                         for (const FileJobFailure &failure : done.failures)
                             result.failures.append({failure.source, failure.message});
                         if (window)
                             showFailures(result, window);
                         if (finished)
                             finished(result);
                     });
    return true;
}

void showFailures(const Result &result, QWidget *parent)
{
    if (result.failures.isEmpty())
        return;
    QStringList lines;
    for (const Failure &failure : result.failures) {
        const QString path = failure.source.toLocalFile();
        const QString name = DisplayNameText::forDisplay(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
        lines.append(QCoreApplication::translate("FileDropHandler", "“%1”: %2").arg(name, failure.message));
    }
    auto *box = new QMessageBox(QMessageBox::Warning,
                                QCoreApplication::translate("FileDropHandler", "Some items couldn’t be copied or moved."),
                                QCoreApplication::translate("FileDropHandler", "Some items couldn’t be copied or moved."),
                                QMessageBox::Ok, parent);
    box->setInformativeText(lines.join(QLatin1Char('\n')));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

} // namespace FileDropHandler
