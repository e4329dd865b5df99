#pragma once

#include <QSettings>

// The client's per-user settings store (organisation "Orvantis", application
// "OrvantisClient"), one object per use.
QSettings clientSettings();
