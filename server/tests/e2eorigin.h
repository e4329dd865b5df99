#pragma once

#include <QtGlobal>

// Suites linked with orvantis_e2eorigin see DefaultServerOrigin as
// "https://localhost:<EndToEndPort>", a loopback port that was free when
// constants were initialised; the suite starts the real server on it.
extern const quint16 EndToEndPort;
