#pragma once

#include <QElapsedTimer>
#include <QListView>

// One column of the browser: a flat list drawn by the shared cell, with
// type-ahead in natural order, arrow keys that move between columns, and a
// line saying why a folder shows nothing.
class BrowserColumnView : public QListView
{
    Q_OBJECT
public:
    explicit BrowserColumnView(QWidget *parent = nullptr);

    void setActiveColumn(bool isActive);
    bool isActiveColumn() const;

    void keyboardSearch(const QString &text) override;

Q_SIGNALS:
    void moveToPreviousColumnRequested();
    void moveToNextColumnRequested();
    void focusReceived();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_typed;
    QElapsedTimer m_sinceLastKey;
};
