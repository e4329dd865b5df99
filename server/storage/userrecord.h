#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// One account as stored; the hash never leaves the server.
struct UserRecord {
    qint64 id = 0;
    QString felhasznalonev;
    QString vezeteknev;
    QString keresztnev;
    QString email;
    QString szerepkor;
    QByteArray passwordHash;

    QJsonObject toJson() const
    {
        return {{QStringLiteral("felhasznalonev"), felhasznalonev},
            {QStringLiteral("vezeteknev"), vezeteknev}, {QStringLiteral("keresztnev"), keresztnev},
            {QStringLiteral("szerepkor"), szerepkor}, {QStringLiteral("email"), email}};
    }
};
