#pragma once

#include <QPointer>
#include <QWidget>

// Shows one browser at a time in the window's content area. The window keeps
// owning every browser; the container only shows one and hides the others.
class ContentContainerViewController : public QWidget
{
    Q_OBJECT
public:
    explicit ContentContainerViewController(QWidget *parent = nullptr);

    // Shows `child` in place of the current one; nothing when it is already shown.
    void setContent(QWidget *child);
    QWidget *currentChild() const { return m_currentChild; }

private:
    QPointer<QWidget> m_currentChild;
};
