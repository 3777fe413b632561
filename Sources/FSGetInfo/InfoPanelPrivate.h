#pragma once

#include "FSCore/LabelColor.h"
#include "FSCore/MainThread.h"
#include "FSUIKit/AppTheme.h"
#include "FSUIKit/TextSize.h"

#include <QLabel>
#include <QPointer>
#include <QThreadPool>

#include <functional>
#include <utility>

class ColorSwatchView;
class QBoxLayout;
class QWidget;

// Pieces the single-item and the multi-item info panels share.
namespace InfoPanel {

// A one-line label that shortens its text in the middle when it has no room,
// and never asks for more width than it is given. The full text is its tool
// tip. Plain text only: a file named "<b>x</b>" is shown as typed.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);
    void setFullText(const QString &text);
    QString fullText() const { return m_fullText; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_fullText;
};

// Text from a file name made safe to show: control characters (a newline in a
// name) and the invisible characters that reorder text (a right-to-left
// override making "gpj.exe" read "exe.jpg") become U+FFFD.
QString safeText(const QString &text);

// "Kind:" and its value side by side, the label right-aligned in a fixed
// column.
QWidget *makeRow(const QString &label, QWidget *value, TextSize size, QWidget *parent);

// A row of one swatch per label colour (none first), each calling `clicked`
// with its colour; the swatches, in that order, are appended to `swatches`.
QWidget *makeSwatchRow(const std::function<void(LabelColor)> &clicked, QList<ColorSwatchView *> &swatches,
                       QWidget *parent);

// Gives the labels of a panel's rows one width: 60 pixels at the small size,
// more where a label (or its translation) would not fit.
void alignRowLabels(const QList<QWidget *> &labels, TextSize size);

// Fonts of the text sizes: values and labels one pixel under the base size,
// titles and section headers bold, one over.
QFont valueFont(TextSize size);
QFont titleFont(TextSize size);
// How much wider than at the small size a panel is, so that the longer texts of
// larger sizes keep their room.
qreal widthScale(TextSize size);

// The panel's background for the theme.
void applyBackground(QWidget *panel, AppTheme theme);

// Runs `work` on `pool` and hands its result to `done` on the main thread,
// unless `context` is gone by then.
template <typename Work, typename Done>
void runInBackground(QThreadPool *pool, QObject *context, Work work, Done done)
{
    pool->start([guard = ContextGuard(context), work = std::move(work), done = std::move(done)]() mutable {
        auto result = work();
        MainThread::post([guard, result = std::move(result), done = std::move(done)]() mutable {
            if (guard.isAlive())
                done(std::move(result));
        });
    });
}

} // namespace InfoPanel
