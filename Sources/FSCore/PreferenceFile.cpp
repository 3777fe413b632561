#include "PreferenceFile.h"

#include "PropertyList.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
// Preference files are a few hundred bytes; anything far larger is not ours.
constexpr qint64 maximumFileSize = 1 << 20;
}

PreferenceFile::PreferenceFile(const QString &fileName)
    : m_fileName(fileName)
{
}

QString PreferenceFile::folderPath()
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Tidewright");
    QDir().mkpath(folder);
    return folder;
}

QString PreferenceFile::path() const
{
    return folderPath() + QLatin1Char('/') + m_fileName;
}

QVariantMap PreferenceFile::read() const
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumFileSize)
        return {};
    return PropertyList::parseDictionary(file.readAll()).value_or(QVariantMap());
}

std::optional<qlonglong> PreferenceFile::integer(const QString &key) const
{
    const QVariant value = read().value(key);
    if (value.metaType().id() != QMetaType::LongLong)
        return std::nullopt;
    return value.toLongLong();
}

std::optional<QString> PreferenceFile::string(const QString &key) const
{
    const QVariant value = read().value(key);
    if (value.metaType().id() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

bool PreferenceFile::setValue(const QString &key, const QVariant &value) const
{
    QVariantMap dictionary = read();
    dictionary.insert(key, value);
    const std::optional<QByteArray> xml = PropertyList::serialize(dictionary);
    if (!xml)
        return false;
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(*xml);
    return file.commit();
}
