#include "server/routes/writerefusal.h"

#include "server/http/jsonreply.h"

using Status = JsonReply::Status;

WriteRefusal::WriteRefusal(const QString &notFound, const QString &duplicate)
    : notFound(notFound)
    , duplicate(duplicate)
{
}

QHttpServerResponse WriteRefusal::operator()(Database::WriteResult result) const
{
    switch (result) {
    case Database::WriteResult::NotFound:
        return JsonReply::refusal(Status::NotFound, notFound);
    case Database::WriteResult::Duplicate:
        return JsonReply::refusal(Status::Conflict, duplicate);
    case Database::WriteResult::LastAdmin:
        return JsonReply::refusal(Status::Conflict,
            QStringLiteral("Legalább egy admin szerepkörű felhasználónak maradnia kell."));
    default:
        return JsonReply::storageFailure();
    }
}
