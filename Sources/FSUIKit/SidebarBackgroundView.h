#pragma once

#include <QColor>
#include <QWidget>

// The soft blue-grey gradient behind the sidebar, the same in both themes:
// topColor along the bottom edge rising to bottomColor along the top edge (the
// names come from a coordinate system with its origin at the bottom).
class SidebarBackgroundView : public QWidget
{
    Q_OBJECT
public:
    static const QColor topColor;
    static const QColor bottomColor;

    explicit SidebarBackgroundView(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
