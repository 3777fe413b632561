#pragma once

#include "FSCore/FileItem.h"

#include <QList>
#include <QString>

// One of the sidebar's three fixed groups of places, with the rows under its
// header in the order their provider gives them.
class SidebarSection
{
public:
    enum class Kind {
        devices,
        places,
        shared,
    };

    Kind kind = Kind::places;
    QString title;
    FileItemList items;

    // "DEVICES", "PLACES", "SHARED", localized.
    static QString titleFor(Kind kind);

    // All three sections, in that order, from the volumes and places as they
    // are now. Every item carries its name and is known to be a folder, so
    // showing one, or dropping onto it, never has to ask a volume that may
    // have stopped answering.
    static QList<SidebarSection> build();
};
