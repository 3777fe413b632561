#pragma once

#include "FSUIKit/AppTheme.h"

#include <QUrl>
#include <QWidget>

#include <optional>

class QLabel;

// The line under the browsers: the folder's path, its item count and the free
// space of its volume. The free space is asked on a work queue, since a share
// that stopped answering would block whoever asks, and filled in when it
// arrives; until then the line shows the count alone, or the last free space
// known for that same folder.
class StatusBarView : public QWidget
{
    Q_OBJECT
public:
    explicit StatusBarView(QWidget *parent = nullptr);

    // The window sets its font for the text size.
    QLabel *label() const { return m_label; }

    void applyTheme(AppTheme theme);
    void update(qsizetype itemCount, const QUrl &directoryUrl);
    // A remark after the count (empty for none), kept across updates until replaced.
    void setNote(const QString &note);
    QString note() const { return m_note; }

    // "1 item", "%1 items", with ", %2 available" when the free space is known.
    static QString countText(qsizetype itemCount, std::optional<qint64> availableBytes);

Q_SIGNALS:
    // The free space asked by the last update() arrived and is shown.
    void availableCapacityShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void show(qsizetype itemCount, std::optional<qint64> availableBytes);

    QLabel *m_label = nullptr;
    AppTheme m_theme = AppTheme::graphite10_6;
    QUrl m_directoryUrl;
    QString m_note;
    qsizetype m_itemCount = 0;
    std::optional<qint64> m_lastAvailableBytes;
    // Tells a free-space answer for an earlier update from the current one.
    quint64 m_generation = 0;
};
