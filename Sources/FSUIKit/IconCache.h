#pragma once

#include "FSCore/FileItem.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>

// The process-wide cache of file icons, keyed by path. An icon is the icon
// theme's picture of the file's content type, so the items of a large folder
// share the few dozen icon objects of their types; a path costs one hash entry.
// Icons from here can be made and copied on any thread (they decode their
// theme files only when drawn); safe for concurrent use.
namespace IconCache {

using Completion = std::function<void(const QIcon &icon)>;

// Synchronous, any thread; what is stored for the path comes first. Off the
// main thread a bare URL costs one stat on a miss (is it a folder?). The main
// thread never waits on a disk: there a miss answers by the attributes
// FileItem::lastKnown() has, else by the name, and the right icon is worked
// out on WorkQueues::icons() for the next ask (the asynchronous form below
// tells when it is there). An item from a listing answers from its attributes
// on a miss and stores that answer.
QIcon icon(const QUrl &url);
QIcon icon(const FileItem &item);

// Main thread. On a hit `completion` runs once, before this returns. On a miss
// it runs at once with genericIcon(), then once more on the main thread with the
// file's icon, unless `context` was destroyed meanwhile (no context: always).
void icon(const QUrl &url, QObject *context, Completion completion);

// One background job on WorkQueues::icons() that stores the icon of every path
// not yet cached, in order; the items of a listing replace what was stored for
// their paths. Nobody is told when it finishes.
void prefetch(const QList<QUrl> &urls);
void prefetch(const FileItemList &items);

// The theme's icon for the first of `names` it has, else its folder icon: for
// places and volumes, whose icon says what they are, not what they hold. Never
// touches the disk; any thread.
QIcon folderIcon(const QStringList &names);

// A blank document, the placeholder while an icon is fetched.
QIcon genericIcon();

// Indexing the icon theme reads every one of its folders; without this, the
// first icon asked for waits for it, on the way to the first folder drawn.
// Starts it on WorkQueues::icons(). Main thread, once the application runs;
// a process that calls it waits for the work queues before it leaves.
void indexThemeInBackground();

} // namespace IconCache
