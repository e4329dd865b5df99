#include "api/serverorigin.h"

const QString DefaultServerOrigin = QStringLiteral(ORVANTIS_SERVER_ORIGIN);
