#pragma once

#include <QSize>

namespace tw::test {

// Gives the offscreen platform one screen of `size` at the origin instead of
// its default, so window frames can be checked against a known screen. Call
// before the application object is made.
void useOffscreenScreen(QSize size);

} // namespace tw::test

// For tests of whole windows (with TestHome.h): a private home, one screen of
// `screenSize`, and the application's names, by which its settings are found.
#define TW_WINDOW_TEST_MAIN(TestClass, screenSize)                                                 \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        tw::test::installPrivateHome();                                                            \
        tw::test::useOffscreenScreen(screenSize);                                                  \
        QApplication app(argc, argv);                                                              \
        QApplication::setOrganizationName(QStringLiteral("Tidewright"));                           \
        QApplication::setApplicationName(QStringLiteral("Tidewright"));                            \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
