#pragma once

#include <QString>

// The demo accounts that --seed-demo creates.
struct DemoAccounts {
    static QString adminPassword()
    {
        return QStringLiteral("Admin#2026");
    }
    static QString editorPassword()
    {
        return QStringLiteral("Editor#2026");
    }
    static QString userPassword()
    {
        return QStringLiteral("User#2026");
    }
};
