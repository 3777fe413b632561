#pragma once

#include <QFont>
#include <QList>
#include <QStringList>
#include <QWidget>

#include <optional>

// A row of buttons drawn the same grey way in every theme and on every
// desktop, for back/forward and the view modes. Only a press and a release
// count: there is no tracking while the pointer is dragged.
class ClassicSegmentedControl : public QWidget
{
    Q_OBJECT
public:
    enum class Tracking {
        // A click highlights the segment only while it is pressed.
        momentary,
        // The last clicked segment stays highlighted.
        selectOne,
    };

    explicit ClassicSegmentedControl(const QStringList &labels, Tracking tracking, QWidget *parent = nullptr);

    const QStringList &labels() const { return m_labels; }
    Tracking tracking() const { return m_tracking; }

    bool isSegmentEnabled(int segment) const;
    void setSegmentEnabled(int segment, bool enabled);

    // -1 until an enabled segment is clicked.
    int selectedSegment() const { return m_selectedSegment; }
    void setSelectedSegment(int segment);
    std::optional<int> pressedIndex() const { return m_pressedIndex; }

    // Each label's width in font() plus 28, at least 28.
    QList<qreal> segmentWidths() const;
    // Segments start 5 from the left edge; the vertical position is not tested.
    std::optional<int> segmentIndex(const QPointF &point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The control's own type, the same in both themes and text sizes.
    static QFont labelFont();

Q_SIGNALS:
    // A completed click on an enabled segment, also when it was already selected.
    void segmentClicked(int segment);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QStringList m_labels;
    QList<bool> m_enabledFlags;
    Tracking m_tracking;
    int m_selectedSegment = -1;
    std::optional<int> m_pressedIndex;
};
