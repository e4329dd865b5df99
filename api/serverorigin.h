#pragma once

#include <QString>

// Origin of the product server (scheme, host and port, no trailing slash).
// Fixed when the program is built; it is the API base URL, the value written
// to the settings store, the login fallback and the release manifest origin.
extern const QString DefaultServerOrigin;
