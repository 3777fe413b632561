#pragma once

#include <QByteArray>

// Which of our extended attributes an entry carries, from one listxattr call.
// Most files carry none, so a listing asks this once per entry and reads an
// attribute only where it is present, instead of one read per attribute.
struct UserAttributeNames
{
    // False when the names could not be listed (a file system without the
    // call, a list too long): then each attribute must be read to know.
    bool isKnown = false;
    bool hasTags = false;
    bool hasHiddenExtension = false;

    // Entry `name` of the open folder `directoryFd` (or -1), whose full path is
    // `path`; links are followed.
    static UserAttributeNames read(int directoryFd, const char *name, const QByteArray &path);

    bool mayHaveTags() const { return !isKnown || hasTags; }
    bool mayHaveHiddenExtension() const { return !isKnown || hasHiddenExtension; }
};
