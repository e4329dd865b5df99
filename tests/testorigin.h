#pragma once

#include <QtGlobal>

// Test suites linked with orvantis_testorigin see DefaultServerOrigin as
// "http://127.0.0.1:<port>", a loopback port that is reserved, listening,
// before main() runs. A LoopbackServer takes it over with
// adoptListeningSocket(TestOriginSocket); -1 when no port could be reserved.
extern const qintptr TestOriginSocket;
