#include "TestHome.h"

#include "FSUIKit/ClassicStyle.h"
#include "FSUIKit/LabelColorDrawing.h"
#include "FSUIKit/LabelSwatchImage.h"
#include "FSUIKit/MetalTexture.h"
#include "FSUIKit/SidebarBackgroundView.h"
#include "FSUIKit/TextSize.h"

#include <QApplication>
#include <QProxyStyle>
#include <QFontInfo>
#include <QPainter>
#include <QStyle>
#include <QWidget>
#include <QtConcurrent>
#include <QtMath>

class ThemedDrawingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void metalTextureIsMadeOnceAcrossThreads();
    void metalTextureIsLighterInTheMiddle();
    void metalBrushTilesTheTexture();
    void graphiteWindowIsGrey204();
    void sidebarGradientRisesFromTopColorAtTheBottom();
    void swatchIsAFilledCircleOfDiameterMinusOne_data();
    void swatchIsAFilledCircleOfDiameterMinusOne();
    void noneSwatchIsAnOutlineOnly();
    void unusableDiameterGivesNullImage();
    void textFontsAreSizedInPixels();
};

namespace {

double alphaArea(const QImage &image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            sum += qAlpha(image.pixel(x, y)) / 255.0;
    }
    return sum;
}

bool nearColor(QRgb pixel, const QColor &expected, int tolerance)
{
    return qAbs(qRed(pixel) - expected.red()) <= tolerance && qAbs(qGreen(pixel) - expected.green()) <= tolerance
        && qAbs(qBlue(pixel) - expected.blue()) <= tolerance;
}

QImage render(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    widget.render(&image);
    return image;
}

} // namespace

void ThemedDrawingTest::metalTextureIsMadeOnceAcrossThreads()
{
    // Runs first in the process, so the threads race to make the texture.
    const QList<qint64> keys = QtConcurrent::blockingMapped(QList<int>(8, 0), [](int) {
        return MetalTexture::image().cacheKey();
    });
    for (qint64 key : keys)
        QCOMPARE(key, MetalTexture::image().cacheKey());
    QCOMPARE(MetalTexture::backgroundColor().textureImage().cacheKey(), MetalTexture::image().cacheKey());
}

void ThemedDrawingTest::metalTextureIsLighterInTheMiddle()
{
    const QImage &texture = MetalTexture::image();
    QCOMPARE(texture.size(), QSize(4, 64));
    QVERIFY(!texture.hasAlphaChannel());

    const int darkest = qFloor(0.595 * 255);
    const int lightest = qCeil(0.695 * 255);
    QList<int> rows;
    for (int y = 0; y < texture.height(); ++y) {
        const QRgb first = texture.pixel(0, y);
        QCOMPARE(qRed(first), qGreen(first));
        QCOMPARE(qRed(first), qBlue(first));
        for (int x = 1; x < texture.width(); ++x)
            QCOMPARE(texture.pixel(x, y), first);
        QVERIFY2(qRed(first) >= darkest && qRed(first) <= lightest, qPrintable(QString::number(qRed(first))));
        rows.append(qRed(first));
    }
    auto mean = [&](int from, int to) {
        double sum = 0;
        for (int y = from; y < to; ++y)
            sum += rows[y];
        return sum / (to - from);
    };
    // Middle about 0.67, ends about 0.62: some ten grey levels apart, far more
    // than the random streaks shift an average of eight or more rows.
    const double middle = mean(24, 41);
    const double ends = (mean(0, 8) + mean(56, 64)) / 2;
    QVERIFY2(middle > ends + 4, qPrintable(QStringLiteral("middle %1, ends %2").arg(middle).arg(ends)));
}

void ThemedDrawingTest::metalBrushTilesTheTexture()
{
    QImage canvas(11, 150, QImage::Format_RGB32);
    canvas.fill(Qt::magenta);
    {
        QPainter painter(&canvas);
        painter.fillRect(canvas.rect(), ClassicStyle::windowBackground(AppTheme::metal10_4));
    }
    const QImage &texture = MetalTexture::image();
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x)
            QCOMPARE(canvas.pixel(x, y), texture.pixel(x % 4, y % 64));
    }
}

void ThemedDrawingTest::graphiteWindowIsGrey204()
{
    ClassicStyle::apply(*qApp);
    // Our menu check marks sit in a proxy; Fusion draws everything else.
    const auto *proxy = qobject_cast<QProxyStyle *>(QApplication::style());
    QVERIFY(proxy);
    QCOMPARE(proxy->baseStyle()->name(), QStringLiteral("fusion"));
    QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(204, 204, 204));

    QWidget window;
    window.resize(40, 30);
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setBrush(QPalette::Window, ClassicStyle::windowBackground(AppTheme::graphite10_6));
    window.setPalette(palette);
    const QImage image = render(window);
    for (const QPoint point : {QPoint(0, 0), QPoint(20, 15), QPoint(39, 29)})
        QCOMPARE(image.pixel(point), qRgb(204, 204, 204));
}

void ThemedDrawingTest::sidebarGradientRisesFromTopColorAtTheBottom()
{
    SidebarBackgroundView view;
    view.resize(30, 200);
    const QImage image = render(view);
    const QRgb bottom = image.pixel(15, 199);
    const QRgb top = image.pixel(15, 0);
    QVERIFY2(nearColor(bottom, SidebarBackgroundView::topColor, 2), qPrintable(QColor(bottom).name()));
    QVERIFY2(nearColor(top, SidebarBackgroundView::bottomColor, 2), qPrintable(QColor(top).name()));
    // Lighter all the way down, with no band left unpainted.
    for (int y = 1; y < image.height(); ++y) {
        QVERIFY(qBlue(image.pixel(15, y)) >= qBlue(image.pixel(15, y - 1)));
        QCOMPARE(image.pixel(0, y), image.pixel(29, y));
    }
}

void ThemedDrawingTest::swatchIsAFilledCircleOfDiameterMinusOne_data()
{
    QTest::addColumn<LabelColor>("color");
    QTest::addColumn<qreal>("diameter");
    QTest::addColumn<qreal>("ratio"); // device pixels per point
    // Every colour is drawn alike; the sizes are the menu's and a large one.
    QTest::newRow("Red 14") << LabelColor::red << qreal(14) << qreal(1);
    QTest::newRow("Gray 26") << LabelColor::gray << qreal(26) << qreal(1);
    QTest::newRow("Blue 14 at 2x") << LabelColor::blue << qreal(14) << qreal(2);
}

void ThemedDrawingTest::swatchIsAFilledCircleOfDiameterMinusOne()
{
    QFETCH(LabelColor, color);
    QFETCH(qreal, diameter);
    QFETCH(qreal, ratio);
    const QImage swatch = LabelSwatchImage::make(color, diameter, ratio);
    const int side = int(diameter * ratio);
    QCOMPARE(swatch.format(), QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(swatch.size(), QSize(side, side));
    QCOMPARE(swatch.devicePixelRatio(), ratio);
    QCOMPARE(swatch.deviceIndependentSize(), QSizeF(diameter, diameter));

    const QRgb middle = swatch.pixel(side / 2, side / 2);
    QCOMPARE(qAlpha(middle), 255);
    QCOMPARE(QColor(middle).rgb(), LabelColors::drawingColor(color)->rgb());
    // Corners lie outside the circle.
    QCOMPARE(qAlpha(swatch.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(swatch.pixel(side - 1, side - 1)), 0);

    // The covered area tells the circle's diameter: one point less than the
    // image's. Antialiased edges come out a little light, but a circle one
    // pixel wider or narrower would differ by some twenty pixels or more.
    const double radius = ratio * (diameter - 1) / 2;
    const double area = alphaArea(swatch);
    QVERIFY2(qAbs(area - M_PI * radius * radius) < 4, qPrintable(QString::number(area)));
    if (ratio == 2) {
        // The half-point inset is a whole pixel here: the circle starts at pixel 1.
        QCOMPARE(qAlpha(swatch.pixel(0, side / 2)), 0);
        QVERIFY(qAlpha(swatch.pixel(1, side / 2)) > 200);
    }
}

void ThemedDrawingTest::noneSwatchIsAnOutlineOnly()
{
    const QImage swatch = LabelSwatchImage::make(LabelColor::none, 14);
    QCOMPARE(swatch.size(), QSize(14, 14));
    QCOMPARE(qAlpha(swatch.pixel(7, 7)), 0);
    QCOMPARE(qAlpha(swatch.pixel(0, 0)), 0);
    // The ring runs along the circle of diameter 13: its top, bottom, left and right.
    for (const QPoint point : {QPoint(7, 0), QPoint(7, 13), QPoint(0, 7), QPoint(13, 7)}) {
        const QRgb pixel = swatch.pixel(point);
        QVERIFY2(qAlpha(pixel) > 20, qPrintable(QString::number(qAlpha(pixel))));
        QVERIFY(qAlpha(pixel) <= LabelColors::tertiaryLabelColor().alpha());
        QCOMPARE(qRed(pixel), 0); // black, faint
    }
    // A ring one pixel wide between radius 6 and 7: π(7² − 6²) ≈ 41 in full
    // coverage (a filled disc would be 133, a ring two pixels wide 82).
    const double coverage = alphaArea(swatch) * 255.0 / LabelColors::tertiaryLabelColor().alpha();
    QVERIFY2(qAbs(coverage - M_PI * 13) < 6, qPrintable(QString::number(coverage)));
}

void ThemedDrawingTest::unusableDiameterGivesNullImage()
{
    QVERIFY(LabelSwatchImage::make(LabelColor::red, 0).isNull());
    QVERIFY(LabelSwatchImage::make(LabelColor::red, qQNaN()).isNull());
    QVERIFY(LabelSwatchImage::make(LabelColor::red, 12, 0).isNull());
}

void ThemedDrawingTest::textFontsAreSizedInPixels()
{
    // A point size would come out a third larger at 96 dpi; the views are laid
    // out for these pixel heights.
    QFont base = QApplication::font();
    base.setPointSize(30);
    for (TextSize size : TextSizes::allCases) {
        for (const QFont &font : {TextSizes::font(size), TextSizes::font(size, base)}) {
            QCOMPARE(qreal(font.pixelSize()), TextSizes::baseFontSize(size));
            QCOMPARE(qreal(QFontInfo(font).pixelSize()), TextSizes::baseFontSize(size));
        }
    }
}

TW_GUI_TEST_MAIN(ThemedDrawingTest)
#include "tst_ThemedDrawing.moc"
