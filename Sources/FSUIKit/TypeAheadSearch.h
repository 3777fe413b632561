#pragma once

#include "FSCore/FileItem.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>

class QAbstractItemView;

// Selecting by typing the first letters of a name, alike in the three browser
// views. Letters typed in quick succession add up; the item picked is the one
// whose name starts with them as the natural order compares names (case,
// accents aside, digits by their value), the first such in natural order whatever
// the view's sort. When no name starts so, nothing is picked: a keystroke
// never selects an item the user did not name.
class TypeAheadSearch
{
public:
    // Adds `text` to what was typed before, or starts afresh after a pause
    // longer than the keyboard input interval; answers all that was typed.
    QString type(const QString &text);

    // Types `text` into `view`: the row picked among its top-level rows, whose
    // items `itemAt` gives, becomes the one selected and current, and is
    // scrolled to. Nothing changes when no name starts so.
    void keyboardSearch(QAbstractItemView *view, const QString &text, const std::function<FileItem(int row)> &itemAt);

    // The row of that item among `count` rows whose items `itemAt` gives;
    // -1 when no name starts with `typed`.
    static int rowFor(const QString &typed, int count, const std::function<FileItem(int row)> &itemAt);

private:
    QString m_typed;
    QElapsedTimer m_sinceLastKey;
};
