#pragma once

#include <QByteArray>
#include <QVariantMap>

#include <optional>

// XML property lists, the format of the preference files. Values keep their
// exact type: <integer> is qlonglong, <real> double, <string> QString,
// <true/>/<false/> bool, <date> QDateTime (UTC), <data> QByteArray, <array>
// QVariantList, <dict> QVariantMap. A document that is not well formed, or any
// element out of place, makes the whole document unreadable.
namespace PropertyList {

// The root dictionary, or nothing when the text is not a property list whose
// root is a dictionary.
std::optional<QVariantMap> parseDictionary(const QByteArray &xml);

// The XML text, or nothing when a value has a type a property list cannot hold.
std::optional<QByteArray> serialize(const QVariantMap &dictionary);

} // namespace PropertyList
