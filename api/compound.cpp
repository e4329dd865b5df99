#include "api/compound.h"

Compound compoundFromJson(const QJsonObject &object, bool withSearchFlags)
{
    Compound c;
    c.kod = object.value(QLatin1String("kod")).toString();
    c.nev = object.value(QLatin1String("nev")).toString();
    c.keplet = object.value(QLatin1String("keplet")).toString();
    c.molaris_tomeg = object.value(QLatin1String("molaris_tomeg")).toString();
    c.szin = object.value(QLatin1String("szin")).toString();
    c.halmazallapot = object.value(QLatin1String("halmazallapot")).toString();
    if (withSearchFlags) {
        c.details_hit = object.value(QLatin1String("details_hit")).toBool(false);
        c.base_hit = object.value(QLatin1String("base_hit")).toBool(true);
    }
    return c;
}

QList<Compound> compoundsFromJson(const QJsonArray &array, bool withSearchFlags)
{
    QList<Compound> list;
    list.reserve(array.size());
    for (const QJsonValue &value : array) {
        if (value.isObject())
            list.append(compoundFromJson(value.toObject(), withSearchFlags));
    }
    return list;
}

QJsonObject compoundToJson(const Compound &compound)
{
    return QJsonObject {
        {QLatin1String("kod"), compound.kod},
        {QLatin1String("nev"), compound.nev},
        {QLatin1String("keplet"), compound.keplet},
        {QLatin1String("molaris_tomeg"), compound.molaris_tomeg},
        {QLatin1String("szin"), compound.szin},
        {QLatin1String("halmazallapot"), compound.halmazallapot},
    };
}
