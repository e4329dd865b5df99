#include "api/clientsettings.h"

QSettings clientSettings()
{
    return QSettings(QStringLiteral("Orvantis"), QStringLiteral("OrvantisClient"));
}
