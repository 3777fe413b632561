#pragma once

#include "FSUIKit/AppTheme.h"
#include "FSUIKit/TextSize.h"

#include <QWidget>

class QLabel;

// One window showing the shared drawing pieces in one theme and text size:
// window background, label swatches, the sidebar gradient with rows, list rows,
// sample text and icon-grid cells. For looking at, not for use.
class GalleryWindow : public QWidget
{
    Q_OBJECT
public:
    GalleryWindow(AppTheme theme, TextSize size, QWidget *parent = nullptr);

private:
    QWidget *makeSwatchRow();
    QWidget *makeSidebar();
    QWidget *makeListRows();
    QWidget *makeIconGrid();
    QLabel *makeCaption(const QString &text);

    AppTheme m_theme;
    TextSize m_size;
    QFont m_font;
};
