#pragma once

#include "TestFiles.h"

#include <QString>
#include <QtTest/QtTest>

namespace tw::test {

// Points HOME and the XDG data, config, cache and state folders into a fresh
// temporary folder, so no test reads or writes the real user's files. Must run
// before the application object is made (Qt reads the folders once).
void installPrivateHome();

// The private home made by installPrivateHome().
QString privateHome();

// An XML property list document around `body` (a <dict>, say).
QByteArray plist(const QByteArray &body);

} // namespace tw::test

#define TW_TEST_MAIN_WITH(AppClass, TestClass)                                                     \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        tw::test::installPrivateHome();                                                            \
        AppClass app(argc, argv);                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

// For tests of the file model: no display, an event loop for queued results.
#define TW_CORE_TEST_MAIN(TestClass) TW_TEST_MAIN_WITH(QCoreApplication, TestClass)
// For tests that make widgets, pixmaps or fonts (run on the offscreen platform).
#define TW_GUI_TEST_MAIN(TestClass) TW_TEST_MAIN_WITH(QApplication, TestClass)
