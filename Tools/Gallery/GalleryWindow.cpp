#include "GalleryWindow.h"

#include "FSCore/LabelColor.h"
#include "FSUIKit/ClassicStyle.h"
#include "FSUIKit/LabelSwatchImage.h"
#include "FSUIKit/SidebarBackgroundView.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

struct SampleItem
{
    const char *iconName;
    const char *name;
    LabelColor label;
};

const SampleItem sampleItems[] = {
    {"folder", "Projects", LabelColor::blue},
    {"text-x-generic", "Notes.txt", LabelColor::none},
    {"image-x-generic", "Harbour at dusk.jpg", LabelColor::orange},
    {"x-office-document", "Invoice 2024-03.pdf", LabelColor::red},
    {"package-x-generic", "Archive.zip", LabelColor::green},
};

QLabel *imageLabel(const QImage &image, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(QPixmap::fromImage(image));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel *iconLabel(const char *iconName, qreal edge, QWidget *parent)
{
    auto *label = new QLabel(parent);
    const int pixels = qRound(edge);
    const QIcon icon = QIcon::fromTheme(QString::fromLatin1(iconName), QIcon::fromTheme(QStringLiteral("text-x-generic")));
    label->setPixmap(icon.pixmap(pixels, pixels));
    label->setFixedSize(pixels, pixels);
    return label;
}

} // namespace

GalleryWindow::GalleryWindow(AppTheme theme, TextSize size, QWidget *parent)
    : QWidget(parent)
    , m_theme(theme)
    , m_size(size)
    , m_font(TextSizes::font(size))
{
    setWindowTitle(QStringLiteral("Tidewright gallery: %1, %2")
                       .arg(AppThemes::displayName(theme), TextSizes::displayName(size)));
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setBrush(QPalette::Window, ClassicStyle::windowBackground(theme));
    setPalette(background);

    auto *columns = new QHBoxLayout(this);
    columns->setContentsMargins(16, 16, 16, 16);
    columns->setSpacing(16);
    columns->addWidget(makeSidebar());

    auto *right = new QVBoxLayout;
    right->setSpacing(10);
    right->addWidget(makeCaption(windowTitle()));
    right->addWidget(makeCaption(QStringLiteral("Label swatches at 12 px and at the row icon size (%1 px)")
                                     .arg(TextSizes::rowIconSize(size))));
    right->addWidget(makeSwatchRow());
    auto *sample = new QLabel(QStringLiteral("The quick brown fox jumps over the lazy dog (%1 px)")
                                  .arg(TextSizes::baseFontSize(size)),
                              this);
    sample->setFont(m_font);
    right->addWidget(sample);
    right->addWidget(makeCaption(QStringLiteral("List rows (%1 px high)").arg(TextSizes::listRowHeight(size))));
    right->addWidget(makeListRows());
    right->addWidget(makeCaption(QStringLiteral("Icon grid (%1 px icons)").arg(TextSizes::gridIconSize(size))));
    right->addWidget(makeIconGrid());
    right->addStretch(1);
    columns->addLayout(right);
}

QLabel *GalleryWindow::makeCaption(const QString &text)
{
    auto *caption = new QLabel(text, this);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    return caption;
}

QWidget *GalleryWindow::makeSwatchRow()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    const qreal ratio = devicePixelRatioF();
    for (LabelColor color : LabelColors::allCases) {
        auto *cell = new QVBoxLayout;
        cell->setSpacing(4);
        cell->addWidget(imageLabel(LabelSwatchImage::make(color, 12, ratio), row));
        cell->addWidget(imageLabel(LabelSwatchImage::make(color, TextSizes::rowIconSize(m_size), ratio), row));
        auto *name = new QLabel(LabelColors::displayName(color), row);
        name->setAlignment(Qt::AlignCenter);
        cell->addWidget(name);
        layout->addLayout(cell);
    }
    layout->addStretch(1);
    return row;
}

QWidget *GalleryWindow::makeSidebar()
{
    auto *sidebar = new SidebarBackgroundView(this);
    const int rowHeight = qRound(TextSizes::sidebarRowHeight(m_size));
    auto *layout = new QVBoxLayout(sidebar);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(0);

    auto addHeader = [&](const QString &title) {
        auto *header = new QLabel(title, sidebar);
        QFont font = m_font;
        font.setBold(true);
        font.setPixelSize(qRound(TextSizes::baseFontSize(m_size) * 0.85));
        header->setFont(font);
        header->setStyleSheet(QStringLiteral("color: #707780"));
        header->setFixedHeight(rowHeight);
        layout->addWidget(header);
    };
    auto addRow = [&](const char *iconName, const QString &name) {
        auto *row = new QWidget(sidebar);
        row->setFixedHeight(rowHeight);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(8, 0, 0, 0);
        rowLayout->setSpacing(6);
        rowLayout->addWidget(iconLabel(iconName, TextSizes::rowIconSize(m_size), row));
        auto *label = new QLabel(name, row);
        label->setFont(m_font);
        rowLayout->addWidget(label, 1);
        layout->addWidget(row);
    };
    addHeader(QStringLiteral("DEVICES"));
    addRow("drive-harddisk", QStringLiteral("Computer"));
    addHeader(QStringLiteral("PLACES"));
    addRow("user-home", QStringLiteral("Home"));
    addRow("user-desktop", QStringLiteral("Desktop"));
    addRow("folder-documents", QStringLiteral("Documents"));
    addRow("folder-download", QStringLiteral("Downloads"));
    addRow("folder-pictures", QStringLiteral("Pictures"));
    addHeader(QStringLiteral("SHARED"));
    addRow("network-server", QStringLiteral("fileserver"));
    layout->addStretch(1);
    sidebar->setFixedWidth(qRound(TextSizes::baseFontSize(m_size) * 14));
    return sidebar;
}

QWidget *GalleryWindow::makeListRows()
{
    auto *list = new QWidget(this);
    list->setAutoFillBackground(true);
    QPalette white = list->palette();
    white.setColor(QPalette::Window, white.color(QPalette::Base));
    list->setPalette(white);
    auto *layout = new QVBoxLayout(list);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const qreal ratio = devicePixelRatioF();
    int index = 0;
    for (const SampleItem &item : sampleItems) {
        auto *row = new QWidget(list);
        row->setFixedHeight(qRound(TextSizes::listRowHeight(m_size)));
        if (index++ % 2 == 1) {
            row->setAutoFillBackground(true);
            QPalette alternate = row->palette();
            alternate.setColor(QPalette::Window, alternate.color(QPalette::AlternateBase));
            row->setPalette(alternate);
        }
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(6, 0, 6, 0);
        rowLayout->setSpacing(6);
        rowLayout->addWidget(iconLabel(item.iconName, TextSizes::rowIconSize(m_size), row));
        auto *name = new QLabel(QString::fromUtf8(item.name), row);
        name->setFont(m_font);
        rowLayout->addWidget(name, 1);
        rowLayout->addWidget(imageLabel(LabelSwatchImage::make(item.label, 12, ratio), row));
        layout->addWidget(row);
    }
    return list;
}

QWidget *GalleryWindow::makeIconGrid()
{
    auto *grid = new QWidget(this);
    auto *layout = new QHBoxLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QSize cellSize = TextSizes::gridItemSize(m_size).toSize();
    for (const SampleItem &item : sampleItems) {
        auto *cell = new QWidget(grid);
        cell->setFixedSize(cellSize);
        auto *cellLayout = new QVBoxLayout(cell);
        cellLayout->setContentsMargins(2, 2, 2, 2);
        cellLayout->setSpacing(2);
        cellLayout->addWidget(iconLabel(item.iconName, TextSizes::gridIconSize(m_size), cell), 0, Qt::AlignHCenter);
        auto *name = new QLabel(cell);
        name->setFont(m_font);
        name->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        const QFontMetrics metrics(m_font);
        name->setText(metrics.elidedText(QString::fromUtf8(item.name), Qt::ElideMiddle, cellSize.width() - 4));
        cellLayout->addWidget(name, 1);
        layout->addWidget(cell);
    }
    layout->addStretch(1);
    return grid;
}
