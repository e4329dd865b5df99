#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

// One account of the user administration list.
struct UserRow {
    QString felhasznalonev;
    QString vezeteknev;
    QString keresztnev;
    QString szerepkor;
    QString email;
};

Q_DECLARE_METATYPE(UserRow)

UserRow userRowFromJson(const QJsonObject &object);
// Elements that are not objects are skipped; the server's order is kept.
QList<UserRow> userRowsFromJson(const QJsonArray &array);
