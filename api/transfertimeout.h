#pragma once

// A request that receives nothing for this long is aborted and fails like a
// lost connection (status 0). A slow transfer that keeps receiving goes on.
constexpr int TransferTimeoutMs = 30000;
