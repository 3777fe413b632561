#include "SidebarItemCell.h"

#include "SidebarModel.h"

#include <QPainter>

const QColor SidebarItemCell::headerColor = QColor(0x6b, 0x74, 0x80);

namespace {

constexpr char16_t firstStrongIsolate = 0x2068;
constexpr char16_t popDirectionalIsolate = 0x2069;
constexpr char16_t replacement = 0xFFFD;

bool isDirectionControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString visible(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20)
            shown.append(QChar(char16_t(0x2400 + c)));
        else if (c == 0x7F)
            shown.append(QChar(char16_t(0x2421)));
        else if ((c >= 0x80 && c <= 0x9F) || isDirectionControl(c) || c == 0x2028 || c == 0x2029)
            shown.append(QChar(replacement));
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            shown.append(text.at(i));
            shown.append(text.at(++i));
        } else if (QChar::isSurrogate(c))
            shown.append(QChar(replacement));
        else
            shown.append(QChar(c));
    }
    return shown;
}

QString isolated(const QString &text)
{
    return QChar(firstStrongIsolate) + text + QChar(popDirectionalIsolate);
}

} // namespace

SidebarItemCell::SidebarItemCell(QObject *parent) : QStyledItemDelegate(parent)
{
    setTextSize(TextSize::medium);
}

void SidebarItemCell::setTextSize(TextSize size)
{
    m_textSize = size;
    m_imageSize = qRound(TextSizes::rowIconSize(size));
    m_rowHeight = qRound(TextSizes::sidebarRowHeight(size));
    m_itemFont = TextSizes::font(size);
    m_headerFont = m_itemFont;
    m_headerFont.setWeight(QFont::DemiBold);
}

QString SidebarItemCell::shownText(const QString &name, const std::optional<QString> &host)
{
    QString text = isolated(visible(name));
    if (host && !host->isEmpty())
        text += QStringLiteral(" (") + isolated(visible(*host)) + QLatin1Char(')');
    return text;
}

void SidebarItemCell::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    const QRect rect = option.rect;
    const QString text = index.data(Qt::DisplayRole).toString();
    if (index.data(SidebarModel::IsSectionRole).toBool()) {
        painter->setFont(m_headerFont);
        painter->setPen(headerColor);
        const QRect textRect = rect.adjusted(headerLeading, 0, -textTrailing, 0);
        const QString elided = QFontMetrics(m_headerFont).elidedText(text, Qt::ElideRight, textRect.width());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
        painter->restore();
        return;
    }
    const QRect iconRect(rect.left() + iconLeading, rect.top() + (rect.height() - m_imageSize) / 2, m_imageSize,
                         m_imageSize);
    index.data(Qt::DecorationRole).value<QIcon>().paint(painter, iconRect);
    const int textLeft = iconRect.right() + 1 + textSpacing;
    const QRect textRect(textLeft, rect.top(), rect.right() + 1 - textTrailing - textLeft, rect.height());
    const bool isSelected = option.state.testFlag(QStyle::State_Selected);
    painter->setFont(m_itemFont);
    painter->setPen(isSelected ? QColor(Qt::white) : option.palette.color(QPalette::Text));
    const QString elided = QFontMetrics(m_itemFont).elidedText(text, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
    painter->restore();
}

QSize SidebarItemCell::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    if (index.data(SidebarModel::IsSectionRole).toBool())
        return {headerLeading + QFontMetrics(m_headerFont).horizontalAdvance(text) + textTrailing, m_rowHeight};
    return {iconLeading + m_imageSize + textSpacing + QFontMetrics(m_itemFont).horizontalAdvance(text) + textTrailing,
            m_rowHeight};
}
