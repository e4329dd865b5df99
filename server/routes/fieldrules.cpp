#include "server/routes/fieldrules.h"

#include "server/storage/userrecord.h"

#include <QRegularExpression>

namespace {

bool hasControlCharacter(const QString &value, bool allowLineBreaks)
{
    for (const QChar c : value) {
        if (allowLineBreaks
            && (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')))
            continue;
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

// "." and ".." cannot travel as a path segment: URL normalisation removes them.
bool isDotSegment(const QString &value)
{
    return value == QLatin1String(".") || value == QLatin1String("..");
}

} // namespace

QString FieldRules::userName(const QString &value)
{
    if (value.trimmed().isEmpty())
        return QStringLiteral("A felhasználónév nem lehet üres.");
    if (value != value.trimmed())
        return QStringLiteral("A felhasználónév nem kezdődhet és nem végződhet szóközzel.");
    if (value.size() > 64)
        return QStringLiteral("A felhasználónév legfeljebb 64 karakter lehet.");
    if (hasControlCharacter(value, false))
        return QStringLiteral("A felhasználónév vezérlőkaraktert tartalmaz.");
    if (isDotSegment(value))
        return QStringLiteral("A felhasználónév nem lehet \".\" vagy \"..\".");
    return {};
}

QString FieldRules::personName(const QString &label, const QString &value)
{
    return text(label, value, 100, true);
}

QString FieldRules::email(const QString &value)
{
    static const QRegularExpression shape(QStringLiteral("^[^@\\s]+@[^@\\s]+$"));
    if (value.size() > 254 || !shape.match(value).hasMatch())
        return QStringLiteral("Érvénytelen e-mail cím.");
    return {};
}

QString FieldRules::password(const QString &value)
{
    if (value.size() < 8)
        return QStringLiteral("A jelszónak legalább 8 karakterből kell állnia.");
    if (value.size() > 256)
        return QStringLiteral("A jelszó legfeljebb 256 karakter lehet.");
    return {};
}

QString FieldRules::role(const QString &value)
{
    if (value == QLatin1String("user") || value == QLatin1String("editor")
        || value == QLatin1String("admin"))
        return {};
    return QStringLiteral("Ismeretlen szerepkör (user, editor vagy admin lehet).");
}

QString FieldRules::account(const UserRecord &user, bool emailRequired)
{
    const bool checkEmail = emailRequired || !user.email.isEmpty();
    for (const QString &problem :
        {userName(user.felhasznalonev), personName(QStringLiteral("vezetéknév"), user.vezeteknev),
            personName(QStringLiteral("keresztnév"), user.keresztnev),
            checkEmail ? email(user.email) : QString(), role(user.szerepkor)}) {
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

QString FieldRules::compoundCode(const QString &value)
{
    if (value.trimmed().isEmpty())
        return QStringLiteral("A kód nem lehet üres.");
    if (value.size() > 64)
        return QStringLiteral("A kód legfeljebb 64 karakter lehet.");
    if (hasControlCharacter(value, false))
        return QStringLiteral("A kód vezérlőkaraktert tartalmaz.");
    if (isDotSegment(value))
        return QStringLiteral("A kód nem lehet \".\" vagy \"..\".");
    return {};
}

QString FieldRules::text(const QString &label, const QString &value, int maxLength, bool required)
{
    if (required && value.trimmed().isEmpty())
        return QStringLiteral("A(z) %1 mező nem lehet üres.").arg(label);
    if (value.size() > maxLength)
        return QStringLiteral("A(z) %1 mező legfeljebb %2 karakter lehet.")
            .arg(label)
            .arg(maxLength);
    if (hasControlCharacter(value, maxLength > 200))
        return QStringLiteral("A(z) %1 mező vezérlőkaraktert tartalmaz.").arg(label);
    return {};
}
