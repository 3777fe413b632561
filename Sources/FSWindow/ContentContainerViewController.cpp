#include "ContentContainerViewController.h"

#include <QVBoxLayout>

ContentContainerViewController::ContentContainerViewController(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void ContentContainerViewController::setContent(QWidget *child)
{
    if (child == m_currentChild)
        return;
    if (m_currentChild) {
        layout()->removeWidget(m_currentChild);
        m_currentChild->hide();
    }
    m_currentChild = child;
    if (child) {
        layout()->addWidget(child);
        child->show();
    }
}
