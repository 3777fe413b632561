#include "TypeAheadSearch.h"

#include "FSPlatform/NaturalOrder.h"

#include <QAbstractItemView>
#include <QApplication>

QString TypeAheadSearch::type(const QString &text)
{
    if (!m_sinceLastKey.isValid() || m_sinceLastKey.elapsed() > QApplication::keyboardInputInterval())
        m_typed.clear();
    m_sinceLastKey.start();
    m_typed += text;
    return m_typed;
}

void TypeAheadSearch::keyboardSearch(QAbstractItemView *view, const QString &text,
                                     const std::function<FileItem(int row)> &itemAt)
{
    QAbstractItemModel *model = view->model();
    if (text.isEmpty() || !model)
        return;
    const int row = rowFor(type(text), model->rowCount(view->rootIndex()), itemAt);
    if (row < 0)
        return;
    const QModelIndex found = model->index(row, 0, view->rootIndex());
    view->selectionModel()->setCurrentIndex(found, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(found);
}

int TypeAheadSearch::rowFor(const QString &typed, int count, const std::function<FileItem(int row)> &itemAt)
{
    if (typed.isEmpty())
        return -1;
    int best = -1;
    QByteArray bestKey;
    for (int row = 0; row < count; ++row) {
        const FileItem item = itemAt(row);
        const QString name = item.name();
        // Numbers compare by value, so "File 10" starts with "File 1" yet
        // sorts after "File 2": every name is looked at, not just those near
        // where the typed text would sort.
        if (!NaturalOrder::startsWith(name, typed))
            continue;
        const FileAttributes *attributes = item.attributeSnapshot();
        QByteArray key = attributes ? attributes->nameSortKey : QByteArray();
        if (key.isEmpty())
            key = NaturalOrder::sortKey(name);
        if (best < 0 || key < bestKey) {
            best = row;
            bestKey = std::move(key);
        }
    }
    return best;
}
