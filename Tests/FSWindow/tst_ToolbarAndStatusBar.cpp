#include "TestHome.h"

#include "FSPlatform/PathCodec.h"
#include "FSWindow/ClassicSegmentedControl.h"
#include "FSWindow/MainToolbarView.h"
#include "FSWindow/StatusBarView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

namespace {

void click(ClassicSegmentedControl &control, qreal pressX, qreal releaseX)
{
    QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(int(pressX), 16));
    QTest::mouseRelease(&control, Qt::LeftButton, {}, QPoint(int(releaseX), 16));
}

qreal labelWidth(const QString &label)
{
    return QFontMetricsF(ClassicSegmentedControl::labelFont()).horizontalAdvance(label);
}

} // namespace

class ToolbarAndStatusBarTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void segmentsSpanTheirLabelsPlusPaddingFromFivePoints();
    void onlyAReleaseOverThePressedEnabledSegmentSends_data();
    void onlyAReleaseOverThePressedEnabledSegmentSends();
    void narrowWindowsShrinkTheSearchFieldAndHideWhatNoLongerFits_data();
    void narrowWindowsShrinkTheSearchFieldAndHideWhatNoLongerFits();
    void statusLineShowsPathCountAndFreeSpace();
    void freeSpaceOfAFolderLeftMeanwhileIsDropped();
};

void ToolbarAndStatusBarTest::segmentsSpanTheirLabelsPlusPaddingFromFivePoints()
{
    // An empty label still gets the smallest segment.
    ClassicSegmentedControl control({QString(), QStringLiteral("Column")}, ClassicSegmentedControl::Tracking::selectOne);
    const qreal second = labelWidth(QStringLiteral("Column")) + 28;
    QCOMPARE(control.segmentWidths(), (QList<qreal>{28, second}));
    QCOMPARE(control.sizeHint(), QSize(int(std::ceil(28 + second + 10)), 32));
    QCOMPARE(control.segmentIndex(QPointF(4.9, 0)), std::nullopt);
    QCOMPARE(control.segmentIndex(QPointF(5, 100)), 0);
    QCOMPARE(control.segmentIndex(QPointF(32.9, 0)), 0);
    QCOMPARE(control.segmentIndex(QPointF(33, 0)), 1);
    QCOMPARE(control.segmentIndex(QPointF(33 + second - 0.1, 0)), 1);
    QCOMPARE(control.segmentIndex(QPointF(33 + second, 0)), std::nullopt);
    QCOMPARE(ClassicSegmentedControl({}, ClassicSegmentedControl::Tracking::momentary).sizeHint(), QSize(10, 32));
}

void ToolbarAndStatusBarTest::onlyAReleaseOverThePressedEnabledSegmentSends_data()
{
    QTest::addColumn<int>("pressed");
    QTest::addColumn<int>("released");
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<int>("selected");
    // Segment 1 starts selected and segment 2 is disabled.
    QTest::newRow("press 0, release over 1") << 0 << 1 << QList<int>{} << 1;
    QTest::newRow("the selected one again") << 1 << 1 << QList<int>{1} << 1;
    QTest::newRow("another one") << 0 << 0 << QList<int>{0} << 0;
    QTest::newRow("a disabled one") << 2 << 2 << QList<int>{} << 1;
    QTest::newRow("outside every segment") << -1 << -1 << QList<int>{} << 1;
}

void ToolbarAndStatusBarTest::onlyAReleaseOverThePressedEnabledSegmentSends()
{
    QFETCH(int, pressed);
    QFETCH(int, released);
    QFETCH(QList<int>, sent);
    QFETCH(int, selected);
    ClassicSegmentedControl control({QStringLiteral("Icon"), QStringLiteral("List"), QStringLiteral("Column")},
                                    ClassicSegmentedControl::Tracking::selectOne);
    control.resize(control.sizeHint());
    control.setSelectedSegment(1);
    control.setSegmentEnabled(2, false);
    const QList<qreal> widths = control.segmentWidths();
    const auto middleOf = [&widths](int segment) {
        if (segment < 0)
            return 2.0;
        qreal left = 5;
        for (int index = 0; index < segment; ++index)
            left += widths[index];
        return left + widths[segment] / 2;
    };
    QSignalSpy clicks(&control, &ClassicSegmentedControl::segmentClicked);
    click(control, middleOf(pressed), middleOf(released));
    QList<int> got;
    for (const QList<QVariant> &arguments : clicks)
        got.append(arguments.first().toInt());
    QCOMPARE(got, sent);
    QCOMPARE(control.selectedSegment(), selected);
    QCOMPARE(control.pressedIndex(), std::nullopt);
}

void ToolbarAndStatusBarTest::narrowWindowsShrinkTheSearchFieldAndHideWhatNoLongerFits_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("searchWidth");
    QTest::addColumn<bool>("showsPlaceholder");
    QTest::addColumn<bool>("showsFolderName");
    QTest::newRow("default width") << 1075 << 240 << true << true;
    // -1: narrower than the largest, wider than the smallest.
    QTest::newRow("wide enough for the name") << 720 << 240 << true << true;
    QTest::newRow("too narrow for the placeholder") << 560 << -1 << false << false;
    QTest::newRow("too narrow for anything") << 300 << 80 << false << false;
}

void ToolbarAndStatusBarTest::narrowWindowsShrinkTheSearchFieldAndHideWhatNoLongerFits()
{
    QFETCH(int, width);
    QFETCH(int, searchWidth);
    QFETCH(bool, showsPlaceholder);
    QFETCH(bool, showsFolderName);
    QWidget window;
    auto *bar = new MainToolbarView(1, &window);
    bar->setFolderName(QStringLiteral("Documents"));
    window.show();
    bar->resize(width, bar->height());
    const QRect nav = bar->navigationControl()->geometry();
    const QRect viewModes = bar->viewModeControl()->geometry();
    const QRect search = bar->searchField()->geometry();
    QCOMPARE(nav.topLeft(), QPoint(78, 10));
    if (searchWidth < 0)
        QVERIFY(search.width() > 80 && search.width() < 240);
    else
        QCOMPARE(search.width(), searchWidth);
    QCOMPARE(search.right() + 1, width - 16);
    QCOMPARE(bar->searchField()->placeholderText().isEmpty(), !showsPlaceholder);
    // The view modes never slide over back/forward, however narrow the window.
    QCOMPARE(viewModes.left(), std::max(nav.right() + 1 + 16, search.left() - 12 - viewModes.width()));
    QCOMPARE(bar->folderNameLabel()->isVisible(), showsFolderName);
    if (showsFolderName) {
        QVERIFY(bar->folderNameLabel()->geometry().left() >= nav.right() + 1 + 16);
        QVERIFY(bar->folderNameLabel()->geometry().right() < viewModes.left() - 16);
    }
}

void ToolbarAndStatusBarTest::statusLineShowsPathCountAndFreeSpace()
{
    QTemporaryDir dir;
    const QUrl folder = PathCodec::urlForPath(dir.path());
    StatusBarView status;
    QSignalSpy shown(&status, &StatusBarView::availableCapacityShown);
    status.update(1, folder);
    // The count is there at once; the free space comes later.
    QCOMPARE(status.label()->text(), dir.path() + QStringLiteral(" — 1 item"));
    QVERIFY(shown.wait(5000));
    QVERIFY2(status.label()->text().startsWith(dir.path() + QStringLiteral(" — 1 item, ")), qPrintable(status.label()->text()));
    QVERIFY(status.label()->text().endsWith(QStringLiteral(" available")));

    // A refresh of the same folder keeps the free space known until the new answer.
    status.update(0, folder);
    QVERIFY(status.label()->text().startsWith(dir.path() + QStringLiteral(" — 0 items, ")));

    // No free space for a folder that is gone: the count alone.
    const QUrl gone = PathCodec::childUrl(folder, QStringLiteral("gone"));
    status.update(2, gone);
    QVERIFY(shown.wait(5000));
    QCOMPARE(status.label()->text(), gone.toLocalFile() + QStringLiteral(" — 2 items"));
    // Free space reads as file sizes do everywhere else.
    QCOMPARE(StatusBarView::countText(1, 999), QStringLiteral("1 item, 999 bytes available"));
    QCOMPARE(StatusBarView::countText(2, 1'500'000), QStringLiteral("2 items, 1.5 MB available"));
    QCOMPARE(StatusBarView::countText(0, 82'300'000'000), QStringLiteral("0 items, 82.3 GB available"));
}

void ToolbarAndStatusBarTest::freeSpaceOfAFolderLeftMeanwhileIsDropped()
{
    QTemporaryDir first;
    QTemporaryDir second;
    StatusBarView status;
    QSignalSpy shown(&status, &StatusBarView::availableCapacityShown);
    status.update(3, PathCodec::urlForPath(first.path()));
    status.update(4, PathCodec::urlForPath(second.path()));
    QVERIFY(shown.wait(5000));
    QTest::qWait(50);
    QCOMPARE(shown.size(), 1);
    QVERIFY(status.label()->text().startsWith(second.path() + QStringLiteral(" — 4 items, ")));
}

TW_GUI_TEST_MAIN(ToolbarAndStatusBarTest)
#include "tst_ToolbarAndStatusBar.moc"
