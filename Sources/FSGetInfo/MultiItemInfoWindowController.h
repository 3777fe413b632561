#pragma once

#include "FSCore/FileItem.h"
#include "FSCore/FolderSizeCalculator.h"

#include <QHash>
#include <QList>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <vector>

class ColorSwatchView;
class QLabel;
class QVBoxLayout;

namespace InfoPanel {
class ElidedLabel;
}

// The summary panel of several items: how many, of which kinds, their total
// size (folders summed in the background, the total growing as each reports),
// where the first one is, and a row of label colours that colours them all.
// Items not yet read are read in the background first.
class MultiItemInfoWindowController : public QWidget
{
    Q_OBJECT
public:
    explicit MultiItemInfoWindowController(const FileItemList &fileItems, QWidget *parent = nullptr);
    ~MultiItemInfoWindowController() override;

    const FileItemList &fileItems() const { return m_fileItems; }
    QString kindSummary() const;
    void applyLabelColor(LabelColor color);

    QLabel *titleLabel() const { return m_titleLabel; }
    InfoPanel::ElidedLabel *kindValueField() const { return m_kindValueField; }
    InfoPanel::ElidedLabel *sizeValueField() const { return m_sizeValueField; }
    InfoPanel::ElidedLabel *whereValueField() const { return m_whereValueField; }
    const QList<ColorSwatchView *> &swatches() const { return m_swatches; }

Q_SIGNALS:
    void windowClosed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildUI();
    void applyAppearance();
    void readItems();
    void populate();
    void updateSwatchSelection();
    void showTotal();

    FileItemList m_fileItems;
    std::vector<std::unique_ptr<FolderSizeCalculator>> m_sizeCalculators;
    QHash<QUrl, qint64> m_calculatedSizes;
    QList<ColorSwatchView *> m_swatches;
    QLabel *m_titleLabel = nullptr;
    InfoPanel::ElidedLabel *m_kindValueField = nullptr;
    InfoPanel::ElidedLabel *m_sizeValueField = nullptr;
    InfoPanel::ElidedLabel *m_whereValueField = nullptr;
    QList<QWidget *> m_rowLabels;
    QVBoxLayout *m_mainStack = nullptr;
    qint64 m_fileTotal = 0;
    int m_itemsToRead = 0;
};
