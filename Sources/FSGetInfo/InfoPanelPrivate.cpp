#include "InfoPanelPrivate.h"

#include "ColorSwatchView.h"

#include "FSUIKit/ClassicStyle.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace InfoPanel {

namespace {

bool isReordering(char32_t character)
{
    return character == 0x061C || character == 0x200E || character == 0x200F
        || (character >= 0x202A && character <= 0x202E) || (character >= 0x2066 && character <= 0x2069);
}

constexpr int rowLabelWidth = 60;

} // namespace

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString &text)
{
    m_fullText = safeText(text);
    setText(m_fullText);
    setToolTip(m_fullText);
    update();
}

QSize ElidedLabel::sizeHint() const
{
    return {1, QLabel::sizeHint().height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return sizeHint();
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
}

QString safeText(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const char32_t character : text.toUcs4()) {
        const bool isControl = character < 0x20 || (character >= 0x7F && character < 0xA0);
        if (isControl || isReordering(character))
            safe.append(QChar(0xFFFD));
        else
            safe.append(QString::fromUcs4(&character, 1));
    }
    return safe;
}

QWidget *makeSwatchRow(const std::function<void(LabelColor)> &clicked, QList<ColorSwatchView *> &swatches,
                       QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    for (LabelColor color : LabelColors::allCases) {
        auto *swatch = new ColorSwatchView(row);
        swatch->color = color;
        swatch->setToolTip(LabelColors::displayName(color));
        swatch->onClick = [clicked, color] { clicked(color); };
        swatches.append(swatch);
        layout->addWidget(swatch);
    }
    layout->addStretch();
    return row;
}

QWidget *makeRow(const QString &label, QWidget *value, TextSize size, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto *title = new QLabel(label, row);
    title->setTextFormat(Qt::PlainText);
    title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    title->setFixedWidth(qRound(rowLabelWidth * widthScale(size)));
    QPalette secondary = title->palette();
    secondary.setColor(QPalette::WindowText, QColor(0, 0, 0, 128));
    title->setPalette(secondary);
    title->setObjectName(QStringLiteral("rowLabel"));
    layout->addWidget(title);
    value->setParent(row);
    layout->addWidget(value, 1, Qt::AlignBaseline);
    return row;
}

void alignRowLabels(const QList<QWidget *> &labels, TextSize size)
{
    int width = qRound(rowLabelWidth * widthScale(size));
    for (QWidget *label : labels) {
        label->setFont(valueFont(size));
        width = std::max(width, label->fontMetrics().horizontalAdvance(static_cast<QLabel *>(label)->text()) + 2);
    }
    for (QWidget *label : labels)
        label->setFixedWidth(width);
}

QFont valueFont(TextSize size)
{
    QFont font = TextSizes::font(size);
    font.setPixelSize(qRound(TextSizes::baseFontSize(size)) - 1);
    return font;
}

QFont titleFont(TextSize size)
{
    QFont font = TextSizes::font(size);
    font.setPixelSize(qRound(TextSizes::baseFontSize(size)) + 1);
    font.setBold(true);
    return font;
}

qreal widthScale(TextSize size)
{
    return TextSizes::baseFontSize(size) / TextSizes::baseFontSize(TextSize::small);
}

void applyBackground(QWidget *panel, AppTheme theme)
{
    QPalette palette = panel->palette();
    palette.setBrush(QPalette::Window, ClassicStyle::windowBackground(theme));
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

} // namespace InfoPanel
