#pragma once

#include <QString>

struct UserRecord;

// Checks of the values a client may store. Each returns a Hungarian reason,
// or an empty text when the value is acceptable.
class FieldRules {
public:
    static QString userName(const QString &value);
    static QString personName(const QString &label, const QString &value);
    static QString email(const QString &value);
    static QString password(const QString &value);
    static QString role(const QString &value);
    // The first problem of an account's names, e-mail address and role, in
    // the order a form shows them. Without emailRequired an empty address
    // passes.
    static QString account(const UserRecord &user, bool emailRequired = true);
    static QString compoundCode(const QString &value);
    // Free text up to maxLength characters; required texts must not be blank.
    static QString text(const QString &label, const QString &value, int maxLength, bool required);
};
