#pragma once

#include <QtGlobal>

// What one request and one client may take, checked before the HTTP layer
// sees any of it.
namespace RequestLimits {

// The request line and the headers together, up to the blank line.
constexpr qint64 MaxHeadBytes = 32 * 1024;
constexpr int MaxHeaderLines = 100;
constexpr qint64 MaxBodyBytes = 1024 * 1024;
// Open connections from one client address.
constexpr int MaxConnectionsPerAddress = 64;
// The default time a request line and its headers may take from their first
// byte, and the longest pause allowed within a body.
constexpr int RequestSeconds = 10;

} // namespace RequestLimits
