#pragma once

#include "FileAttributes.h"
#include "LabelColor.h"

#include <QDateTime>
#include <QExplicitlySharedDataPointer>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QUrl>

#include <functional>
#include <optional>

class OperationError;
class QObject;

// One entry of the file system, identified by its URL alone: equality and hash
// never look at attributes. An item made by a listing answers from the
// attributes read at listing time (as a platform attribute cache would); an item
// made from a bare URL asks the disk on every read, so the main thread, which
// must never wait on a disk that may hang, asks readAttributes() instead and
// shows lastKnown() until the answer comes.
class FileItem
{
public:
    using Completion = std::function<void(const FileItem &item)>;

    FileItem();
    explicit FileItem(const QUrl &url);
    // An item carrying attributes already read, as a listing makes them.
    FileItem(const QUrl &url, FileAttributes attributes);
    // The same from an absolute, clean local path (the URL is made when first asked for).
    FileItem(const QString &path, FileAttributes attributes);
    FileItem(const FileItem &other);
    FileItem(FileItem &&other) noexcept;
    FileItem &operator=(const FileItem &other);
    FileItem &operator=(FileItem &&other) noexcept;
    ~FileItem();

    const QUrl &url() const;
    const QUrl &id() const { return url(); }
    // The local path of url().
    QString path() const;

    // The name as shown: the last path component, without its extension when
    // the user hid it. A bare item never reads the flag (that would touch the
    // disk on the caller's thread) and shows the whole name.
    QString name() const;
    // Whether name() leaves the extension out.
    bool hidesExtension() const;
    // The file name that an edit of name() to `editedName` stands for: when the
    // extension is hidden it is put back, so "Report" (for "Report.pdf") edited
    // to "Summary" means "Summary.pdf"; a name typed with that extension keeps
    // it once. Every in-place rename goes through this.
    QString fileNameForEditedName(const QString &editedName) const;
    bool isDirectory() const;
    // Folders shown as one file do not exist on Linux.
    bool isPackage() const { return false; }
    bool isBrowsable() const { return isDirectory() && !isPackage(); }
    std::optional<qint64> fileSize() const;
    std::optional<QDateTime> modificationDate() const;
    std::optional<QString> kindDescription() const;
    LabelColor labelColor() const;

    // Writes the colour into the file's tags, keeping every other tag in order.
    // Throws PlatformError when the tags cannot be read (other than "no tags
    // yet") or written; nothing is written then.
    void setLabelColor(LabelColor color);
    // setLabelColor() for callers that do not report failures: a failure is
    // logged with the one log line of the program and false returned.
    bool setLabelColorOrLog(LabelColor color);
    static void logLabelColorFailure(const OperationError &error);

    // Shows or hides the extension in name(); throws PlatformError. Touches
    // the disk: call it where a slow disk may keep it waiting.
    void setHidesExtension(bool hidden);

    bool hasAttributeSnapshot() const;
    // The snapshot of a listed item, or the attributes read now.
    FileAttributes attributes() const;
    // The snapshot itself, or nullptr for an item made from a bare URL.
    const FileAttributes *attributeSnapshot() const;

    // Reads the attributes of `url` on WorkQueues::listings() and hands back an
    // item carrying them, later on the main thread, unless `context` (when
    // given) is gone by then. Requests for a URL that is being read wait for
    // that read, so a share that stopped answering holds one thread per URL.
    // Main thread.
    static void readAttributes(const QUrl &url, QObject *context, Completion completion);
    // At once and without the disk: the item as readAttributes() last read it,
    // or, when it never did, an item that knows its name only (its snapshot
    // has hasStatus false, so no getter of it reads the disk). Any thread.
    static FileItem lastKnown(const QUrl &url);

    friend bool operator==(const FileItem &a, const FileItem &b) { return a.url() == b.url(); }
    friend bool operator!=(const FileItem &a, const FileItem &b) { return !(a == b); }

private:
    struct Data;
    QExplicitlySharedDataPointer<Data> d;
};

inline size_t qHash(const FileItem &item, size_t seed = 0)
{
    return qHash(item.url(), seed);
}

using FileItemList = QList<FileItem>;

Q_DECLARE_METATYPE(FileItem)
