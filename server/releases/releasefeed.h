#pragma once

#include <QString>

#include <optional>

// A release folder's latest.json as publish finds it before replacing it.
class ReleaseFeed {
public:
    bool exists = false;
    QString version;
    bool isSigned = false;
    // The file of the release folder it names for download; empty when it
    // names none there.
    QString installerName;

    // An absent file is a feed that does not exist; nullopt with *problem
    // when the file is there but is no feed.
    static std::optional<ReleaseFeed> read(const QString &path, QString *problem);
    static std::optional<ReleaseFeed> fromJson(const QByteArray &json);
};
