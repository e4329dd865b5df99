#pragma once

#include "server/auth/sessionstore.h"

#include <QByteArray>
#include <QString>

// The signed-in account behind a request, as the database knows it now.
struct Caller {
    qint64 userId = 0;
    QString username;
    QString role;
    QByteArray token;
};
