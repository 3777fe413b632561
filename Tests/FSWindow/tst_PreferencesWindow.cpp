#include "TestHome.h"

#include "FSCore/PreferenceFile.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSWindow/PreferencesWindowController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>

class PreferencesWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { QFile::remove(AppearancePreferenceStore::filePath()); }

    void segmentsShowTheStoredChoice_data();
    void segmentsShowTheStoredChoice();
    void panelKeepsItsFixedLayout();
    void choosingASegmentStoresAndBroadcasts();
    void resetOnlyAsksTheWindows();
    void closingHidesAndReopensAsLeft();
};

namespace {

QStringList titles(const QButtonGroup *group)
{
    QStringList result;
    for (int id = 0; id < group->buttons().size(); ++id)
        result.append(group->button(id)->text());
    return result;
}

} // namespace

void PreferencesWindowTest::segmentsShowTheStoredChoice_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("themeIndex");
    QTest::addColumn<int>("sizeIndex");
    QTest::newRow("no file") << QByteArray() << 0 << 1;
    QTest::newRow("metal, large")
        << tw::test::plist("<dict><key>theme</key><string>metal10_4</string><key>textSize</key><integer>2</integer></dict>") << 1
        << 2;
}

void PreferencesWindowTest::segmentsShowTheStoredChoice()
{
    QFETCH(QByteArray, document);
    QFETCH(int, themeIndex);
    QFETCH(int, sizeIndex);
    if (!document.isEmpty())
        QVERIFY(tw::test::writeFile(AppearancePreferenceStore::filePath(), document));
    QSignalSpy spy(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange);

    PreferencesWindowController panel;
    QCOMPARE(panel.themeControl()->checkedId(), themeIndex);
    QCOMPARE(panel.textSizeControl()->checkedId(), sizeIndex);
    QVERIFY(panel.themeControl()->exclusive());
    QVERIFY(panel.textSizeControl()->exclusive());
    // Building the panel reads the store; it neither writes nor broadcasts.
    QCOMPARE(spy.count(), 0);
    QCOMPARE(QFile::exists(AppearancePreferenceStore::filePath()), !document.isEmpty());
}

void PreferencesWindowTest::panelKeepsItsFixedLayout()
{
    PreferencesWindowController panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));

    QCOMPARE(panel.size(), QSize(360, 190));
    QCOMPARE(panel.minimumSize(), panel.maximumSize());
    QCOMPARE(panel.windowTitle(), QStringLiteral("Preferences"));
    QCOMPARE(panel.windowType(), Qt::Tool);
    QCOMPARE(titles(panel.themeControl()), (QStringList{QStringLiteral("Graphite (10.6)"), QStringLiteral("Brushed Metal (10.4)")}));
    QCOMPARE(titles(panel.textSizeControl()),
             (QStringList{QStringLiteral("Small"), QStringLiteral("Medium"), QStringLiteral("Large")}));
    QCOMPARE(panel.resetButton()->text(), QStringLiteral("Reset Window Size to Default"));

    QLabel *themeLabel = nullptr;
    QLabel *sizeLabel = nullptr;
    for (QLabel *label : panel.findChildren<QLabel *>()) {
        if (label->text() == QStringLiteral("Theme:"))
            themeLabel = label;
        else if (label->text() == QStringLiteral("Text Size:"))
            sizeLabel = label;
    }
    QVERIFY(themeLabel && sizeLabel);
    QVERIFY(themeLabel->alignment() & sizeLabel->alignment() & Qt::AlignRight);
    // Rows from 24 below the top, 16 apart, in the order theme, size, button.
    const auto rowTop = [&](QLabel *label, QButtonGroup *group) {
        return qMin(label->y(), group->button(0)->mapTo(&panel, QPoint(0, 0)).y());
    };
    const auto rowBottom = [&](QLabel *label, QButtonGroup *group) {
        return qMax(label->geometry().bottom(), group->button(0)->mapTo(&panel, QPoint(0, group->button(0)->height() - 1)).y());
    };
    QCOMPARE(rowTop(themeLabel, panel.themeControl()), 24);
    QCOMPARE(rowTop(sizeLabel, panel.textSizeControl()), rowBottom(themeLabel, panel.themeControl()) + 1 + 16);
    QCOMPARE(panel.resetButton()->y(), rowBottom(sizeLabel, panel.textSizeControl()) + 1 + 16);

    // Every segment lies whole inside the panel, right of its label, at most 20
    // from its trailing edge, and readable: a wide font must not push titles out of sight.
    for (const auto &[label, group] :
         {std::pair(themeLabel, panel.themeControl()), std::pair(sizeLabel, panel.textSizeControl())}) {
        int previousRight = label->geometry().right();
        for (int id = 0; id < group->buttons().size(); ++id) {
            QAbstractButton *segment = group->button(id);
            const QRect frame(segment->mapTo(&panel, QPoint(0, 0)), segment->size());
            QVERIFY2(frame.left() > previousRight, qPrintable(segment->text()));
            QVERIFY2(frame.right() < 360 - 20, qPrintable(segment->text()));
            QVERIFY2(segment->fontMetrics().horizontalAdvance(segment->text()) <= segment->width(),
                     qPrintable(segment->text()));
            previousRight = frame.right();
        }
    }
    QVERIFY(panel.resetButton()->geometry().right() < 360 - 20);
}

void PreferencesWindowTest::choosingASegmentStoresAndBroadcasts()
{
    PreferencesWindowController panel;
    QSignalSpy changes(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange);
    QSignalSpy resets(AppearanceNotifications::instance(), &AppearanceNotifications::resetWindowLayoutRequested);

    panel.themeControl()->button(1)->click();
    QCOMPARE(AppearancePreferenceStore::theme(), AppTheme::metal10_4);
    QCOMPARE(changes.count(), 1);
    panel.textSizeControl()->button(2)->click();
    QCOMPARE(AppearancePreferenceStore::textSize(), TextSize::large);
    QCOMPARE(AppearancePreferenceStore::theme(), AppTheme::metal10_4);
    QCOMPARE(changes.count(), 2);
    // Choosing the segment already chosen stores and broadcasts again.
    panel.themeControl()->button(1)->click();
    QCOMPARE(panel.themeControl()->checkedId(), 1);
    QCOMPARE(changes.count(), 3);
    QCOMPARE(resets.count(), 0);
}

void PreferencesWindowTest::resetOnlyAsksTheWindows()
{
    PreferencesWindowController panel;
    QSignalSpy changes(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange);
    QSignalSpy resets(AppearanceNotifications::instance(), &AppearanceNotifications::resetWindowLayoutRequested);
    panel.resetButton()->click();
    QCOMPARE(resets.count(), 1);
    QCOMPARE(changes.count(), 0);
    QVERIFY(!QFile::exists(AppearancePreferenceStore::filePath()));
}

void PreferencesWindowTest::closingHidesAndReopensAsLeft()
{
    auto *panel = new PreferencesWindowController;
    QPointer<PreferencesWindowController> guard(panel);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    panel->themeControl()->button(1)->click();
    panel->textSizeControl()->button(0)->click();

    QVERIFY(panel->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard);
    QVERIFY(panel->isHidden());

    // Changed elsewhere while the panel exists: the panel keeps what it shows.
    AppearancePreferenceStore::setTextSize(TextSize::large);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    QCOMPARE(panel->themeControl()->checkedId(), 1);
    QCOMPARE(panel->textSizeControl()->checkedId(), 0);
    QCOMPARE(panel->size(), QSize(360, 190));
    delete panel;
}

TW_GUI_TEST_MAIN(PreferencesWindowTest)
#include "tst_PreferencesWindow.moc"
