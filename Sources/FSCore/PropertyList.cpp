#include "PropertyList.h"

#include <QDateTime>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace PropertyList {

namespace {

// Guards against documents nested deep enough to exhaust the stack.
constexpr int maximumDepth = 64;

class Parser
{
public:
    explicit Parser(const QByteArray &xml) : m_reader(xml) {}

    std::optional<QVariantMap> run()
    {
        if (!nextElement() || m_reader.name() != QLatin1String("plist"))
            return std::nullopt;
        if (!nextElement())
            return std::nullopt;
        const std::optional<QVariant> root = value(0);
        if (!root || root->metaType().id() != QMetaType::QVariantMap)
            return std::nullopt;
        // Nothing but the closing </plist> may follow.
        if (nextElement() || m_failed || m_reader.hasError())
            return std::nullopt;
        return root->toMap();
    }

private:
    // Moves to the next start element; false at an end element, the end or an error.
    bool nextElement()
    {
        while (!m_reader.atEnd()) {
            switch (m_reader.readNext()) {
            case QXmlStreamReader::StartElement:
                return true;
            case QXmlStreamReader::EndElement:
                return false;
            case QXmlStreamReader::Characters:
                if (!m_reader.isWhitespace())
                    return fail();
                break;
            case QXmlStreamReader::Invalid:
                return false;
            default:
                break;
            }
        }
        return false;
    }

    bool fail()
    {
        m_failed = true;
        return false;
    }

    std::optional<QString> text()
    {
        const QString content = m_reader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_reader.hasError())
            return std::nullopt;
        return content;
    }

    // The value whose start element the reader stands on.
    std::optional<QVariant> value(int depth)
    {
        if (depth > maximumDepth)
            return std::nullopt;
        const QStringView tag = m_reader.name();
        if (tag == QLatin1String("dict"))
            return dictionary(depth);
        if (tag == QLatin1String("array"))
            return array(depth);
        if (tag == QLatin1String("true") || tag == QLatin1String("false")) {
            const bool flag = tag == QLatin1String("true");
            const std::optional<QString> content = text();
            if (!content || !content->trimmed().isEmpty())
                return std::nullopt;
            return QVariant(flag);
        }
        const std::optional<QString> content = text();
        if (!content)
            return std::nullopt;
        if (tag == QLatin1String("string"))
            return QVariant(*content);
        if (tag == QLatin1String("integer")) {
            bool ok = false;
            const qlonglong number = content->trimmed().toLongLong(&ok, 10);
            if (!ok)
                return std::nullopt;
            return QVariant(number);
        }
        if (tag == QLatin1String("real")) {
            bool ok = false;
            const double number = content->trimmed().toDouble(&ok);
            if (!ok)
                return std::nullopt;
            return QVariant(number);
        }
        if (tag == QLatin1String("date")) {
            const QDateTime date = QDateTime::fromString(content->trimmed(), Qt::ISODate);
            if (!date.isValid())
                return std::nullopt;
            return QVariant(date.toUTC());
        }
        if (tag == QLatin1String("data")) {
            const auto decoded = QByteArray::fromBase64Encoding(content->simplified().remove(QLatin1Char(' ')).toLatin1(),
                                                                QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                return std::nullopt;
            return QVariant(decoded.decoded);
        }
        return std::nullopt;
    }

    std::optional<QVariant> dictionary(int depth)
    {
        QVariantMap map;
        while (nextElement()) {
            if (m_reader.name() != QLatin1String("key"))
                return std::nullopt;
            const std::optional<QString> key = text();
            if (!key || !nextElement())
                return std::nullopt;
            const std::optional<QVariant> item = value(depth + 1);
            if (!item)
                return std::nullopt;
            map.insert(*key, *item);
        }
        if (m_failed || m_reader.hasError())
            return std::nullopt;
        return QVariant(map);
    }

    std::optional<QVariant> array(int depth)
    {
        QVariantList list;
        while (nextElement()) {
            const std::optional<QVariant> item = value(depth + 1);
            if (!item)
                return std::nullopt;
            list.append(*item);
        }
        if (m_failed || m_reader.hasError())
            return std::nullopt;
        return QVariant(list);
    }

    QXmlStreamReader m_reader;
    bool m_failed = false;
};

bool writeValue(QXmlStreamWriter &writer, const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QVariantMap: {
        writer.writeStartElement(QStringLiteral("dict"));
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            writer.writeTextElement(QStringLiteral("key"), it.key());
            if (!writeValue(writer, it.value()))
                return false;
        }
        writer.writeEndElement();
        return true;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        writer.writeStartElement(QStringLiteral("array"));
        for (const QVariant &item : value.toList()) {
            if (!writeValue(writer, item))
                return false;
        }
        writer.writeEndElement();
        return true;
    }
    case QMetaType::QString:
        writer.writeTextElement(QStringLiteral("string"), value.toString());
        return true;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Short:
        writer.writeTextElement(QStringLiteral("integer"), QString::number(value.toLongLong()));
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        writer.writeTextElement(QStringLiteral("real"), QString::number(value.toDouble(), 'g', 17));
        return true;
    case QMetaType::Bool:
        writer.writeEmptyElement(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        return true;
    case QMetaType::QDateTime:
        writer.writeTextElement(QStringLiteral("date"), value.toDateTime().toUTC().toString(Qt::ISODate));
        return true;
    case QMetaType::QByteArray:
        writer.writeTextElement(QStringLiteral("data"), QString::fromLatin1(value.toByteArray().toBase64()));
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<QVariantMap> parseDictionary(const QByteArray &xml)
{
    return Parser(xml).run();
}

std::optional<QByteArray> serialize(const QVariantMap &dictionary)
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(-1);
    writer.writeStartDocument();
    writer.writeDTD(QStringLiteral(
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
    writer.writeStartElement(QStringLiteral("plist"));
    writer.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    if (!writeValue(writer, QVariant(dictionary)))
        return std::nullopt;
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}

} // namespace PropertyList
