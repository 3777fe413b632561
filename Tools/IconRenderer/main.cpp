// tidewright-icon-renderer SVG OUTPUT-FOLDER SIZE…
// Writes OUTPUT-FOLDER/SIZExSIZE/apps/<name>.png for each size, from one drawing.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: tidewright-icon-renderer SVG OUTPUT-FOLDER SIZE...\n");
        return 2;
    }
    const QString source = arguments[1];
    const QString name = QFileInfo(source).completeBaseName();
    for (const QString &sizeText : arguments.mid(3)) {
        const int size = sizeText.toInt();
        QImageReader reader(source);
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        if (image.isNull()) {
            std::fprintf(stderr, "tidewright-icon-renderer: %s: %s\n", qPrintable(source),
                         qPrintable(reader.errorString()));
            return 1;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(arguments[2]).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "tidewright-icon-renderer: cannot write into %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
