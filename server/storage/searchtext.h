#pragma once

#include <QString>
#include <QStringList>

// Text prepared for case-insensitive substring search in any script: composed
// to NFC and case-folded, so "VÍZ", "víz" and a decomposed "vi\u0301z" meet.
class SearchText {
public:
    static QString fold(const QString &text);
    // The folded fields joined by a separator no typed query can contain, so a
    // match never spans two fields.
    static QString foldFields(const QStringList &fields);
};
