#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// One property-list preference file in the per-user "Tidewright" folder
// (~/.config/Tidewright). Nothing is kept in memory: every read reads the file,
// every change reads it, sets one key and writes it back whole, so keys written
// by others survive. A missing, damaged or wrongly shaped file reads as empty and
// is replaced by the next write. Writes are atomic: a crash mid-write leaves the
// old file.
class PreferenceFile
{
public:
    explicit PreferenceFile(const QString &fileName);

    // The folder, created (with its parents) on every call; a failure is ignored.
    static QString folderPath();
    QString path() const;

    QVariantMap read() const;
    // The value of `key` if it has exactly that type ("1" is not 1).
    std::optional<qlonglong> integer(const QString &key) const;
    std::optional<QString> string(const QString &key) const;

    // Read, set `key`, write. False when nothing could be written.
    bool setValue(const QString &key, const QVariant &value) const;

private:
    QString m_fileName;
};
