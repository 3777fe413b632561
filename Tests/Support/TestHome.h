#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QtTest/QtTest>

namespace tw::test {

// Points HOME and the XDG data, config, cache and state folders into a fresh
// temporary folder, so no test reads or writes the real user's files. Must run
// before the application object is made (Qt reads the folders once).
void installPrivateHome();

// The private home made by installPrivateHome().
QString privateHome();

// Writes a file holding `contents` at `path`, creating missing parent folders.
bool writeFile(const QString &path, const QByteArray &contents = {});

// An XML property list document around `body` (a <dict>, say).
QByteArray plist(const QByteArray &body);

// The names in `folder`, hidden ones too (a leftover temporary file must show
// up), sorted.
QStringList entriesOf(const QString &folder);

// Removes a folder with everything in it, names that are not UTF-8 included
// (QDir cannot address those).
void removeTree(const QString &path);

// A QTemporaryDir that also goes away when it holds names that are not UTF-8.
class TemporaryFolder : public QTemporaryDir
{
public:
    using QTemporaryDir::QTemporaryDir;
    ~TemporaryFolder() { removeTree(path()); }
};

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
