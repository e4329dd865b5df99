#pragma once

#include "server/storage/database.h"

#include <QHttpServerResponse>
#include <QString>

// The refusal for a write the database did not carry out, in the words of
// one kind of record: what to say when it is missing or already there.
class WriteRefusal {
public:
    WriteRefusal(const QString &notFound, const QString &duplicate);

    QHttpServerResponse operator()(Database::WriteResult result) const;

private:
    QString notFound;
    QString duplicate;
};
