#include "ScratchMount.h"
#include "TestHome.h"

#include "FSCore/FileOperations.h"
#include "FSCore/FileOperationsTesting.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/TreeRemover.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using tw::test::ScratchMount;
using tw::test::contentsOf;
using tw::test::entriesOf;
using tw::test::statusOf;
using tw::test::writeFile;

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

template <typename Operation>
int platformErrorOf(Operation operation)
{
    try {
        operation();
    } catch (const PlatformError &error) {
        return error.code();
    } catch (const OperationError &) {
        return -1;
    }
    return 0;
}

template <typename Operation>
std::optional<FileOperationError::Code> fileOperationErrorOf(Operation operation)
{
    try {
        operation();
    } catch (const FileOperationError &error) {
        return error.code();
    } catch (const OperationError &) {
    }
    return std::nullopt;
}

// A tree worth copying: text, an executable, an empty file, a hidden file, a
// relative link, a dangling link and a nested folder.
void makeSampleTree(const QString &root)
{
    QVERIFY(writeFile(root + "/notes.txt", "first line\n"));
    QVERIFY(writeFile(root + "/run.sh", "#!/bin/sh\n"));
    QCOMPARE(::chmod(QFile::encodeName(root + "/run.sh").constData(), 0750), 0);
    QVERIFY(writeFile(root + "/empty"));
    QVERIFY(writeFile(root + "/.hidden", "secret"));
    QVERIFY(writeFile(root + "/inner/deeper/leaf.bin", QByteArray(70000, 'x')));
    QCOMPARE(::symlink("notes.txt", QFile::encodeName(root + "/link").constData()), 0);
    QCOMPARE(::symlink("nowhere", QFile::encodeName(root + "/dangling").constData()), 0);
}

void compareTrees(const QString &original, const QString &copy)
{
    QCOMPARE(entriesOf(copy), entriesOf(original));
    for (const QString &name : entriesOf(original)) {
        const QString a = original + '/' + name, b = copy + '/' + name;
        const struct stat sa = statusOf(a), sb = statusOf(b);
        QCOMPARE(sb.st_mode, sa.st_mode);
        if (S_ISLNK(sa.st_mode))
            QCOMPARE(QFile::symLinkTarget(b).section('/', -1), QFile::symLinkTarget(a).section('/', -1));
        else if (S_ISDIR(sa.st_mode))
            compareTrees(a, b);
        else {
            QCOMPARE(contentsOf(b), contentsOf(a));
            QCOMPARE(sb.st_mtim.tv_sec, sa.st_mtim.tv_sec);
        }
    }
}

} // namespace

class FileOperationsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup();

    void newFolderTakesTheFirstFreeNumber();
    void renameRejectsBadNamesAndChangesNothing_data();
    void renameRejectsBadNamesAndChangesNothing();
    void renameTrimsAndKeepsUnchangedNames();
    void renameNeverReplacesAnything_data();
    void renameNeverReplacesAnything();
    void renameHandlesNamesThatAreNotUtf8();
    void duplicateNamesFollowTheCopyPattern_data();
    void duplicateNamesFollowTheCopyPattern();
    void copyAndMoveIntoTheSameFolderMakeNumberedNames();
    void aNameTakenWhileWorkingIsNeverReplaced();
    void copyKeepsTheWholeTree();
    void copyKeepsHolesInSparseFiles();
    void copyOrMoveIntoItselfIsRefused_data();
    void copyOrMoveIntoItselfIsRefused();
    void vanishedSourceFailsAndLeavesNothing();
    void moveAcrossFileSystemsRemovesTheSourceOnlyAfterTheCopy();
    void removingAMovedOriginalKeepsWhatWasNotCopied();
    void copyOntoAFullDiskLeavesNoPartialCopy();
    void readOnlyFolderRefusesEveryChange();
    void dragOperationRule_data();
    void dragOperationRule();

private:
    tw::test::TemporaryFolder m_dir;
};

void FileOperationsTest::cleanup()
{
    FileOperations::testing::setBeforeTakingName({});
    tw::test::removeTree(m_dir.path());
    QDir().mkpath(m_dir.path());
}

void FileOperationsTest::newFolderTakesTheFirstFreeNumber()
{
    const QString root = m_dir.path();
    QCOMPARE(FileOperations::createNewFolder(urlOf(root)), urlOf(root + "/untitled folder"));
    QCOMPARE(FileOperations::createNewFolder(urlOf(root)), urlOf(root + "/untitled folder 2"));
    // A dangling link holds its name like anything else.
    QCOMPARE(::symlink("gone", QFile::encodeName(root + "/untitled folder 3").constData()), 0);
    QCOMPARE(FileOperations::createNewFolder(urlOf(root)), urlOf(root + "/untitled folder 4"));
    QVERIFY(QFileInfo(root + "/untitled folder 4").isDir());
    QVERIFY(QFileInfo(root + "/untitled folder 3").isSymLink());
}

void FileOperationsTest::renameRejectsBadNamesAndChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isInvalidName"); // otherwise the system's own error
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("line breaks only") << QStringLiteral("\n\t\n") << true;
    QTest::newRow("slash") << QStringLiteral("a/b") << true;
    QTest::newRow("dot") << QStringLiteral(".") << true;
    QTest::newRow("two dots") << QStringLiteral(" .. ") << true;
    QTest::newRow("nul") << QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b") << true;
    QTest::newRow("256 bytes") << QString(256, QLatin1Char('n')) << false;
    QTest::newRow("128 two-byte letters") << QString(128, QChar(0xE9)) << false;
}

void FileOperationsTest::renameRejectsBadNamesAndChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(bool, isInvalidName);
    const QString file = m_dir.path() + "/keep.txt";
    QVERIFY(writeFile(file, "content"));
    const auto rename = [&] { FileOperations::rename(urlOf(file), name); };
    if (isInvalidName)
        QCOMPARE(fileOperationErrorOf(rename), std::optional(FileOperationError::invalidName));
    else
        QCOMPARE(platformErrorOf(rename), ENAMETOOLONG);
    QCOMPARE(entriesOf(m_dir.path()), QStringList{"keep.txt"});
    QCOMPARE(contentsOf(file), QByteArray("content"));
}

void FileOperationsTest::renameTrimsAndKeepsUnchangedNames()
{
    const QString file = m_dir.path() + "/draft";
    QVERIFY(writeFile(file, "x"));
    QCOMPARE(FileOperations::rename(urlOf(file), QStringLiteral("  Notes  \n")), urlOf(m_dir.path() + "/Notes"));
    QCOMPARE(entriesOf(m_dir.path()), QStringList{"Notes"});
    const struct stat before = statusOf(m_dir.path() + "/Notes");
    QCOMPARE(FileOperations::rename(urlOf(m_dir.path() + "/Notes"), QStringLiteral("Notes")), urlOf(m_dir.path() + "/Notes"));
    QCOMPARE(statusOf(m_dir.path() + "/Notes").st_ctim.tv_nsec, before.st_ctim.tv_nsec);
    // 255 bytes is the longest name a Linux file system takes.
    const QString longest(255, QLatin1Char('L'));
    QCOMPARE(FileOperations::rename(urlOf(m_dir.path() + "/Notes"), longest), urlOf(m_dir.path() + '/' + longest));
}

void FileOperationsTest::renameNeverReplacesAnything_data()
{
    QTest::addColumn<QString>("occupant"); // what already has the wanted name
    QTest::newRow("file") << QStringLiteral("file");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("dangling link") << QStringLiteral("link");
    QTest::newRow("other case only") << QStringLiteral("case");
}

void FileOperationsTest::renameNeverReplacesAnything()
{
    QFETCH(QString, occupant);
    const QString root = m_dir.path();
    QVERIFY(writeFile(root + "/a.txt", "mine"));
    QString wanted = root + "/b.txt";
    if (occupant == "file")
        QVERIFY(writeFile(wanted, "theirs"));
    else if (occupant == "folder")
        QVERIFY(QDir().mkpath(wanted + "/inside"));
    else if (occupant == "link")
        QCOMPARE(::symlink("gone", QFile::encodeName(wanted).constData()), 0);
    else
        QVERIFY(writeFile(root + "/B.TXT", "theirs"));

    const auto entriesBefore = entriesOf(root);
    const auto rename = [&] { FileOperations::rename(urlOf(root + "/a.txt"), wanted.section('/', -1)); };
    if (occupant == "case") {
        // Linux names are case-sensitive: a name differing in case is free.
        rename();
        QCOMPARE(contentsOf(wanted), QByteArray("mine"));
        QCOMPARE(contentsOf(root + "/B.TXT"), QByteArray("theirs"));
        return;
    }
    QCOMPARE(fileOperationErrorOf(rename), std::optional(FileOperationError::destinationExists));
    QCOMPARE(entriesOf(root), entriesBefore);
    QCOMPARE(contentsOf(root + "/a.txt"), QByteArray("mine"));
    if (occupant == "file")
        QCOMPARE(contentsOf(wanted), QByteArray("theirs"));
}

void FileOperationsTest::renameHandlesNamesThatAreNotUtf8()
{
    const QByteArray root = QFile::encodeName(m_dir.path());
    const QByteArray rawName = "caf\xe9.txt"; // Latin-1, not UTF-8
    QVERIFY(tw::test::writeRawFile(root + '/' + rawName, "raw"));
    const QUrl item = PathCodec::childUrl(urlOf(m_dir.path()), PathCodec::decode(rawName));
    const QUrl renamed = FileOperations::rename(item, QStringLiteral("fixed.txt"));
    QCOMPARE(contentsOf(renamed.toLocalFile()), QByteArray("raw"));
    // And back: the original bytes come out exactly.
    const QUrl back = FileOperations::rename(renamed, PathCodec::decode(rawName));
    QCOMPARE(PathCodec::encodePath(back), root + '/' + rawName);
    QCOMPARE(::access(QByteArray(root + '/' + rawName).constData(), F_OK), 0);
}

void FileOperationsTest::duplicateNamesFollowTheCopyPattern_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<QStringList>("expected"); // three duplicates in turn
    QTest::newRow("last extension only") << "archive.tar.gz" << false
                                         << QStringList{"archive.tar copy.gz", "archive.tar copy 2.gz", "archive.tar copy 3.gz"};
    QTest::newRow("no extension") << "README" << false << QStringList{"README copy", "README copy 2", "README copy 3"};
    QTest::newRow("hidden file stays hidden") << ".profile" << false << QStringList{".profile copy", ".profile copy 2", ".profile copy 3"};
    QTest::newRow("folder") << "Photos" << true << QStringList{"Photos copy", "Photos copy 2", "Photos copy 3"};
    QTest::newRow("percent in name") << "100%d done.txt" << false
                                     << QStringList{"100%d done copy.txt", "100%d done copy 2.txt", "100%d done copy 3.txt"};
}

void FileOperationsTest::duplicateNamesFollowTheCopyPattern()
{
    QFETCH(QString, name);
    QFETCH(bool, isFolder);
    QFETCH(QStringList, expected);
    const QString original = m_dir.path() + '/' + name;
    QVERIFY(isFolder ? writeFile(original + "/inside.txt", "in") : writeFile(original, "original"));
    for (const QString &want : expected)
        QCOMPARE(FileOperations::duplicate(urlOf(original)), urlOf(m_dir.path() + '/' + want));
    const QString last = m_dir.path() + '/' + expected.last();
    QCOMPARE(contentsOf(isFolder ? last + "/inside.txt" : last), isFolder ? QByteArray("in") : QByteArray("original"));
    QCOMPARE(entriesOf(m_dir.path()).size(), 4); // no temporary left behind
}

void FileOperationsTest::copyAndMoveIntoTheSameFolderMakeNumberedNames()
{
    const QString root = m_dir.path();
    QVERIFY(writeFile(root + "/a.txt", "a"));
    QVERIFY(writeFile(root + "/a 2.txt", "already here"));
    QCOMPARE(FileOperations::copy(urlOf(root + "/a.txt"), urlOf(root)), urlOf(root + "/a 3.txt"));
    // The item's own name counts as taken, so it moves on to the next one.
    QCOMPARE(FileOperations::move(urlOf(root + "/a.txt"), urlOf(root)), urlOf(root + "/a 4.txt"));
    QCOMPARE(entriesOf(root), (QStringList{"a 2.txt", "a 3.txt", "a 4.txt"}));
    QCOMPARE(contentsOf(root + "/a 2.txt"), QByteArray("already here"));
    QCOMPARE(contentsOf(root + "/a 4.txt"), QByteArray("a"));

    QVERIFY(writeFile(root + "/sub/a 3.txt", "other"));
    // A numbered name is numbered again, not counted on: "a 3 2.txt".
    QCOMPARE(FileOperations::copy(urlOf(root + "/a 3.txt"), urlOf(root + "/sub")), urlOf(root + "/sub/a 3 2.txt"));
    QCOMPARE(contentsOf(root + "/sub/a 3.txt"), QByteArray("other"));
}

// Another program takes the name found for us just before we take it: its
// entry must survive and ours go to the next free name.
void FileOperationsTest::aNameTakenWhileWorkingIsNeverReplaced()
{
    const QString root = m_dir.path();
    QVERIFY(writeFile(root + "/doc.txt", "ours"));
    QVERIFY(QDir().mkpath(root + "/target"));
    int interferences = 0;
    FileOperations::testing::setBeforeTakingName([&](const QUrl &candidate) {
        if (interferences++ == 0)
            QVERIFY(writeFile(candidate.toLocalFile(), "theirs"));
    });

    QCOMPARE(FileOperations::createNewFolder(urlOf(root)), urlOf(root + "/untitled folder 2"));
    QCOMPARE(contentsOf(root + "/untitled folder"), QByteArray("theirs"));

    interferences = 0;
    QCOMPARE(FileOperations::copy(urlOf(root + "/doc.txt"), urlOf(root + "/target")), urlOf(root + "/target/doc 2.txt"));
    QCOMPARE(contentsOf(root + "/target/doc.txt"), QByteArray("theirs"));
    QCOMPARE(contentsOf(root + "/target/doc 2.txt"), QByteArray("ours"));

    interferences = 0;
    QCOMPARE(FileOperations::duplicate(urlOf(root + "/doc.txt")), urlOf(root + "/doc copy 2.txt"));
    QCOMPARE(contentsOf(root + "/doc copy.txt"), QByteArray("theirs"));

    interferences = 0;
    QCOMPARE(FileOperations::move(urlOf(root + "/doc copy 2.txt"), urlOf(root + "/target")), urlOf(root + "/target/doc copy 2 2.txt"));
    QCOMPARE(contentsOf(root + "/target/doc copy 2.txt"), QByteArray("theirs"));

    interferences = 0;
    const auto rename = [&] { FileOperations::rename(urlOf(root + "/doc.txt"), QStringLiteral("final.txt")); };
    QCOMPARE(fileOperationErrorOf(rename), std::optional(FileOperationError::destinationExists));
    QCOMPARE(contentsOf(root + "/final.txt"), QByteArray("theirs"));
    QCOMPARE(contentsOf(root + "/doc.txt"), QByteArray("ours"));
    QVERIFY(!entriesOf(root).join(' ').contains(QLatin1String(".tidewright")));
}

void FileOperationsTest::copyKeepsTheWholeTree()
{
    const QString source = m_dir.path() + "/tree";
    makeSampleTree(source);
    const QByteArray tags = "Red,work";
    QCOMPARE(::setxattr(QFile::encodeName(source + "/notes.txt").constData(), "user.xdg.tags", tags.constData(), tags.size(), 0), 0);
    QVERIFY(QDir().mkpath(m_dir.path() + "/into"));
    const QUrl copied = FileOperations::copy(urlOf(source), urlOf(m_dir.path() + "/into"));
    QCOMPARE(copied, urlOf(m_dir.path() + "/into/tree"));
    compareTrees(source, copied.toLocalFile());
    char value[64] = {};
    QCOMPARE(::getxattr(QFile::encodeName(copied.toLocalFile() + "/notes.txt").constData(), "user.xdg.tags", value, sizeof value),
             ssize_t(tags.size()));
    QCOMPARE(QByteArray(value), tags);
    QCOMPARE(entriesOf(m_dir.path() + "/into"), QStringList{"tree"});
}

void FileOperationsTest::copyKeepsHolesInSparseFiles()
{
    const off_t size = 256 * 1024 * 1024;
    const QByteArray path = QFile::encodeName(m_dir.path() + "/sparse.img");
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::pwrite(fd, "head", 4, 0), ssize_t(4));
    QCOMPARE(::pwrite(fd, "middle", 6, size / 2), ssize_t(6));
    QCOMPARE(::pwrite(fd, "tail", 4, size - 4), ssize_t(4));
    ::close(fd);

    const auto checkCopy = [&](const QString &folder) {
        const QUrl copy = FileOperations::copy(urlOf(m_dir.path() + "/sparse.img"), urlOf(folder));
        const struct stat copied = statusOf(copy.toLocalFile());
        QCOMPARE(copied.st_size, size);
        // Filled, the copy would take 256 MiB; its data is three blocks.
        QVERIFY2(copied.st_blocks * 512 <= 1024 * 1024, qPrintable(QString::number(copied.st_blocks * 512)));
        QFile file(copy.toLocalFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(4), QByteArray("head"));
        QVERIFY(file.seek(size / 2 - 2));
        QCOMPARE(file.read(8), QByteArray("\0\0middle", 8));
        QVERIFY(file.seek(size - 4));
        QCOMPARE(file.read(4), QByteArray("tail"));
    };
    QVERIFY(QDir().mkpath(m_dir.path() + "/copies"));
    checkCopy(m_dir.path() + "/copies");
    // Onto another file system no reflink can hide a filled hole, and the
    // 256 MiB file fits the 16 MiB disk only with its holes kept.
    ScratchMount scratch;
    if (!scratch.isMounted())
        QSKIP(qPrintable(scratch.whyNot()));
    checkCopy(scratch.path());
}

void FileOperationsTest::copyOrMoveIntoItselfIsRefused_data()
{
    QTest::addColumn<bool>("isMove");
    QTest::addColumn<QString>("destination"); // relative to the folder
    QTest::newRow("copy into itself") << false << QString();
    QTest::newRow("copy through a link") << false << QStringLiteral("/a/up/a");
    QTest::newRow("move into a sub-folder") << true << QStringLiteral("/a/b");
    QTest::newRow("move through a link") << true << QStringLiteral("/a/up/a");
}

void FileOperationsTest::copyOrMoveIntoItselfIsRefused()
{
    QFETCH(bool, isMove);
    QFETCH(QString, destination);
    const QString folder = m_dir.path() + "/folder";
    QVERIFY(writeFile(folder + "/a/b/file", "x"));
    QCOMPARE(::symlink("..", QFile::encodeName(folder + "/a/up").constData()), 0);
    const auto before = entriesOf(folder + "/a/b");
    const auto operation = [&] {
        const QUrl into = urlOf(folder + destination);
        isMove ? FileOperations::move(urlOf(folder), into) : FileOperations::copy(urlOf(folder), into);
    };
    QCOMPARE(fileOperationErrorOf(operation),
             std::optional(isMove ? FileOperationError::moveIntoItself : FileOperationError::copyIntoItself));
    QCOMPARE(entriesOf(folder + "/a/b"), before);
    QCOMPARE(entriesOf(folder), QStringList{"a"});
}

void FileOperationsTest::vanishedSourceFailsAndLeavesNothing()
{
    const QString root = m_dir.path();
    QVERIFY(QDir().mkpath(root + "/target"));
    const QUrl gone = urlOf(root + "/gone.txt");
    QCOMPARE(platformErrorOf([&] { FileOperations::copy(gone, urlOf(root + "/target")); }), ENOENT);
    QCOMPARE(platformErrorOf([&] { FileOperations::move(gone, urlOf(root + "/target")); }), ENOENT);
    QCOMPARE(platformErrorOf([&] { FileOperations::duplicate(gone); }), ENOENT);
    QCOMPARE(platformErrorOf([&] { FileOperations::rename(gone, QStringLiteral("x")); }), ENOENT);
    QCOMPARE(platformErrorOf([&] { FileOperations::moveToTrash(gone); }), ENOENT);
    QCOMPARE(fileOperationErrorOf([&] { FileOperations::compress(gone); }), std::optional(FileOperationError::compressFailed));
    QCOMPARE(platformErrorOf([&] { FileOperations::createNewFolder(urlOf(root + "/missing")); }), ENOENT);
    QCOMPARE(entriesOf(root), QStringList{"target"});
    QCOMPARE(entriesOf(root + "/target"), QStringList{});
}

void FileOperationsTest::moveAcrossFileSystemsRemovesTheSourceOnlyAfterTheCopy()
{
    ScratchMount scratch;
    if (!scratch.isMounted())
        QSKIP(qPrintable(scratch.whyNot()));
    const QString source = m_dir.path() + "/tree";
    makeSampleTree(source);
    QVERIFY(writeFile(scratch.path() + "/tree", "already there"));
    tw::test::TemporaryFolder reference;
    QVERIFY(QDir().mkpath(reference.path()));
    const QUrl keep = FileOperations::copy(urlOf(source), urlOf(reference.path()));

    const QUrl moved = FileOperations::move(urlOf(source), urlOf(scratch.path()));
    QCOMPARE(moved, urlOf(scratch.path() + "/tree 2"));
    QVERIFY(!QFileInfo::exists(source));
    compareTrees(keep.toLocalFile(), moved.toLocalFile());
    QCOMPARE(contentsOf(scratch.path() + "/tree"), QByteArray("already there"));
    QCOMPARE(entriesOf(scratch.path()), (QStringList{"tree", "tree 2"}));
}

// Between the copier reading a folder and the original being removed, the
// folder may gain or change entries: those are not lost with the original.
void FileOperationsTest::removingAMovedOriginalKeepsWhatWasNotCopied()
{
    const QString source = m_dir.path() + "/moving";
    const QString copy = m_dir.path() + "/moved";
    for (const char *name : {"a.txt", "sub/b.txt", "sub/deeper/c.txt", "grows.txt", "other/d.txt"})
        QVERIFY(writeFile(source + "/" + name, name));
    QCOMPARE(QProcess::execute("cp", {"-a", source, copy}), 0);
    // Made or changed in the original after the copier passed.
    QVERIFY(writeFile(source + "/sub/deeper/late.txt", "late"));
    QVERIFY(writeFile(source + "/grows.txt", "grows.txt, and more"));
    QVERIFY(QDir().mkpath(source + "/new folder"));

    QCOMPARE(platformErrorOf([&] { TreeRemover::removeCopied(PathCodec::encode(source), PathCodec::encode(copy)); }),
             ENOTEMPTY);
    QCOMPARE(entriesOf(source), (QStringList{"grows.txt", "new folder", "sub"}));
    QCOMPARE(entriesOf(source + "/sub"), QStringList{"deeper"});
    QCOMPARE(entriesOf(source + "/sub/deeper"), QStringList{"late.txt"});
    QCOMPARE(contentsOf(source + "/grows.txt"), QByteArray("grows.txt, and more"));
    QCOMPARE(entriesOf(copy + "/sub/deeper"), QStringList{"c.txt"});

    // Once all of it is in the copy, all of it goes.
    QCOMPARE(QProcess::execute("cp", {"-a", "-T", source, copy}), 0);
    TreeRemover::removeCopied(PathCodec::encode(source), PathCodec::encode(copy));
    QVERIFY(!QFileInfo::exists(source));
    QCOMPARE(contentsOf(copy + "/sub/deeper/late.txt"), QByteArray("late"));
}

void FileOperationsTest::copyOntoAFullDiskLeavesNoPartialCopy()
{
    ScratchMount scratch("size=1m");
    if (!scratch.isMounted())
        QSKIP(qPrintable(scratch.whyNot()));
    const QString source = m_dir.path() + "/big";
    QVERIFY(writeFile(source + "/small.txt", "fits"));
    QVERIFY(writeFile(source + "/large.bin", QByteArray(3 * 1024 * 1024, 'z')));

    QCOMPARE(platformErrorOf([&] { FileOperations::copy(urlOf(source), urlOf(scratch.path())); }), ENOSPC);
    QCOMPARE(entriesOf(scratch.path()), QStringList{});
    // A failed move across file systems leaves the source as it was.
    QCOMPARE(platformErrorOf([&] { FileOperations::move(urlOf(source), urlOf(scratch.path())); }), ENOSPC);
    QCOMPARE(entriesOf(scratch.path()), QStringList{});
    QCOMPARE(entriesOf(source), (QStringList{"large.bin", "small.txt"}));
    QCOMPARE(contentsOf(source + "/large.bin").size(), 3 * 1024 * 1024);
    QCOMPARE(fileOperationErrorOf([&] {
                 QVERIFY(writeFile(scratch.path() + "/x", randomBytes(600 * 1024))); // does not compress
                 FileOperations::compress(urlOf(scratch.path() + "/x"));
             }),
             std::optional(FileOperationError::compressFailed));
    QCOMPARE(entriesOf(scratch.path()), QStringList{"x"});
}

void FileOperationsTest::readOnlyFolderRefusesEveryChange()
{
    ScratchMount scratch;
    if (!scratch.isMounted())
        QSKIP(qPrintable(scratch.whyNot()));
    const QString folder = scratch.path();
    QVERIFY(writeFile(folder + "/item.txt", "stays"));
    QVERIFY(scratch.makeReadOnly());
    QVERIFY(writeFile(m_dir.path() + "/incoming.txt", "new"));
    const QUrl item = urlOf(folder + "/item.txt");
    QCOMPARE(platformErrorOf([&] { FileOperations::createNewFolder(urlOf(folder)); }), EROFS);
    QCOMPARE(platformErrorOf([&] { FileOperations::rename(item, QStringLiteral("other.txt")); }), EROFS);
    QCOMPARE(platformErrorOf([&] { FileOperations::duplicate(item); }), EROFS);
    QCOMPARE(platformErrorOf([&] { FileOperations::copy(urlOf(m_dir.path() + "/incoming.txt"), urlOf(folder)); }), EROFS);
    QCOMPARE(platformErrorOf([&] { FileOperations::move(urlOf(m_dir.path() + "/incoming.txt"), urlOf(folder)); }), EROFS);
    QVERIFY(platformErrorOf([&] { FileOperations::move(item, urlOf(m_dir.path())); }) != 0);
    QVERIFY(fileOperationErrorOf([&] { FileOperations::compress(item); }) == FileOperationError::compressFailed);
    QVERIFY(platformErrorOf([&] { FileOperations::moveToTrash(item); }) != 0);
    QCOMPARE(entriesOf(folder), QStringList{"item.txt"});
    QCOMPARE(contentsOf(folder + "/item.txt"), QByteArray("stays"));
    QCOMPARE(entriesOf(m_dir.path()), QStringList{"incoming.txt"});
}

void FileOperationsTest::dragOperationRule_data()
{
    QTest::addColumn<bool>("otherVolume");
    QTest::addColumn<bool>("optionHeld");
    QTest::addColumn<bool>("commandHeld");
    QTest::addColumn<DragOperationKind>("expected");
    QTest::newRow("same volume") << false << false << false << DragOperationKind::move;
    QTest::newRow("same volume, copy key") << false << true << false << DragOperationKind::copy;
    QTest::newRow("both keys copy") << false << true << true << DragOperationKind::copy;
    QTest::newRow("other volume") << true << false << false << DragOperationKind::copy;
    QTest::newRow("other volume, move key") << true << false << true << DragOperationKind::move;
}

void FileOperationsTest::dragOperationRule()
{
    QFETCH(bool, otherVolume);
    QFETCH(bool, optionHeld);
    QFETCH(bool, commandHeld);
    QFETCH(DragOperationKind, expected);
    ScratchMount scratch;
    if (otherVolume && !scratch.isMounted())
        QSKIP(qPrintable(scratch.whyNot()));
    QVERIFY(writeFile(m_dir.path() + "/dragged", "x"));
    QVERIFY(QDir().mkpath(m_dir.path() + "/here"));
    const QUrl destination = urlOf(otherVolume ? scratch.path() : m_dir.path() + "/here");
    QCOMPARE(FileOperations::resolveDragOperation(urlOf(m_dir.path() + "/dragged"), destination, optionHeld, commandHeld), expected);
}

TW_CORE_TEST_MAIN(FileOperationsTest)
#include "tst_FileOperations.moc"
