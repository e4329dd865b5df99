#include "api/compounddetails.h"

#include <QJsonArray>

#include <cmath>
#include <limits>

namespace {

QString text(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

qint32 wholeInt32(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (std::trunc(number) != number || number < std::numeric_limits<qint32>::min()
        || number > std::numeric_limits<qint32>::max()) {
        return 0;
    }
    return static_cast<qint32>(number);
}

} // namespace

CompoundImage compoundImageFromJson(const QJsonObject &object)
{
    CompoundImage image;
    image.url = text(object, "url");
    image.caption = text(object, "caption");
    image.order = wholeInt32(object.value(QLatin1String("order")));
    return image;
}

CompoundDetails compoundDetailsFromJson(const QJsonObject &object)
{
    CompoundDetails d;
    d.kod = text(object, "kod");
    d.description = text(object, "description");
    d.cas = text(object, "cas");
    d.msds_url = text(object, "msds_url");
    d.ghs = text(object, "ghs");
    d.storage = text(object, "storage");
    d.density = text(object, "density");
    d.melting_point = text(object, "melting_point");
    d.boiling_point = text(object, "boiling_point");
    d.solubility = text(object, "solubility");
    d.notes = text(object, "notes");
    const QJsonArray images = object.value(QLatin1String("images")).toArray();
    d.images.reserve(images.size());
    for (const QJsonValue &value : images) {
        if (value.isObject())
            d.images.append(compoundImageFromJson(value.toObject()));
    }
    return d;
}

QJsonObject compoundDetailsToJson(const CompoundDetails &details)
{
    return QJsonObject {
        {QLatin1String("description"), details.description},
        {QLatin1String("cas"), details.cas},
        {QLatin1String("msds_url"), details.msds_url},
        {QLatin1String("ghs"), details.ghs},
        {QLatin1String("storage"), details.storage},
        {QLatin1String("density"), details.density},
        {QLatin1String("melting_point"), details.melting_point},
        {QLatin1String("boiling_point"), details.boiling_point},
        {QLatin1String("solubility"), details.solubility},
        {QLatin1String("notes"), details.notes},
    };
}
