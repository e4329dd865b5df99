#include "api/userrow.h"

UserRow userRowFromJson(const QJsonObject &object)
{
    UserRow row;
    row.felhasznalonev = object.value(QLatin1String("felhasznalonev")).toString();
    row.vezeteknev = object.value(QLatin1String("vezeteknev")).toString();
    row.keresztnev = object.value(QLatin1String("keresztnev")).toString();
    row.szerepkor = object.value(QLatin1String("szerepkor")).toString();
    row.email = object.value(QLatin1String("email")).toString();
    return row;
}

QList<UserRow> userRowsFromJson(const QJsonArray &array)
{
    QList<UserRow> rows;
    rows.reserve(array.size());
    for (const QJsonValue &value : array) {
        if (value.isObject())
            rows.append(userRowFromJson(value.toObject()));
    }
    return rows;
}
