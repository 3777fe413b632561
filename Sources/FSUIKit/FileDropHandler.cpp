#include "FileDropHandler.h"

#include "DisplayNameText.h"
#include "FilePasteboard.h"

#include "FSCore/FileOperations.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QMessageBox>

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

Result perform(const QList<QUrl> &sources, const QUrl &destinationFolder, const DragModifierTracker &tracker)
{
    Result result;
    if (!destinationFolder.isLocalFile())
        return result;
    for (const QUrl &source : sources) {
        if (!source.isLocalFile())
            continue;
        if (isSameOrInside(destinationFolder, source)) {
            const bool isCopy = tracker.resolve(source, destinationFolder) == DragOperationKind::copy;
            result.failures.append({source, FileOperationError(isCopy ? FileOperationError::copyIntoItself
                                                                      : FileOperationError::moveIntoItself)
                                                .localizedDescription()});
            continue;
        }
        try {
            if (tracker.resolve(source, destinationFolder) == DragOperationKind::copy) {
                result.placed.append(FileOperations::copy(source, destinationFolder));
            } else {
                if (isInPlace(source, destinationFolder))
                    continue;
                result.placed.append(FileOperations::move(source, destinationFolder));
            }
        } catch (const OperationError &error) {
            result.failures.append({source, error.localizedDescription()});
        }
    }
    return result;
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
