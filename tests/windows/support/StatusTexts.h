#pragma once
// The gateway window's caption and status lines as the user sees them (the
// user guide quotes them), written out once for every Windows test: the
// expected values, never taken from the program's sources. The host tests
// hold their own copy beside their fixture (tests/host/MrpUiTest.cpp).

namespace quillon::testing {

constexpr const char* kCaption = "MRP-Ledgerly Gateway 1.0.2";
constexpr const char* kMrpUnknown = "MRP status: unknown";
constexpr const char* kMrpNotResponding = "MRP status: not responding";
constexpr const char* kMrpConnecting = "MRP status: connecting";
constexpr const char* kMrpConnected = "MRP status: connected to MRP40";
constexpr const char* kMrpConnectedSdr = "MRP status: connected to MRP40 SDR";
constexpr const char* kPalavanUnknown = "Palavan status: unknown";
constexpr const char* kPalavanNotResponding = "Palavan status: not responding";
constexpr const char* kPalavanConnecting = "Palavan status: connecting";
constexpr const char* kPalavanConnected = "Palavan status: connected";

}  // namespace quillon::testing
