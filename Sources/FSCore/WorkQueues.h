#pragma once

class QThreadPool;

// One bounded queue per kind of background work, so that no kind waits behind
// another: a listing never queues behind a folder-size walk, an icon batch or a
// thumbnail, and a walk that runs for minutes holds only its own queue's
// threads. Each queue lives until the process exits.
namespace WorkQueues {

// Listings wait on the disk, not on the processor: a listing stuck on a mount
// that stopped answering holds one of many threads, and listings of other
// folders go on.
QThreadPool *listings();
QThreadPool *icons();
QThreadPool *thumbnails();
// At most two walks at a time.
QThreadPool *folderSizes();
QThreadPool *search();
QThreadPool *fileJobs();
// A mount waits on the network and on the user typing a password, for up to
// half a minute each: it must not hold a thread that other work needs.
QThreadPool *mounts();

// Drops the work still queued and waits up to `msecs` for what runs. Called
// once the event loop has ended: a worker still running while static objects
// are destroyed at exit would touch freed memory. False when something still
// runs (a listing stuck on a dead mount), and the caller must leave without
// running static destructors.
bool finishAll(int msecs);

} // namespace WorkQueues
