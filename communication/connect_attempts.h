// The addresses a ping tried and what became of each, read from libcurl's own notes on the
// transfer. Its lookup is the only one the ping makes: libcurl 7.88 does not hand out the
// list it resolved, and an address after the one that connected is never tried.
#pragma once

#include <curl/curl.h>

#include <string>
#include <string_view>
#include <vector>

#include "communication/ping_facts.h"

namespace Ardentis {

// Takes one of libcurl's informational notes, seen at nowMs on the ping's clock:
// "  Trying 127.0.0.1:443...", "connect to 127.0.0.1 port 443 failed: Connection refused",
// "ipv4 connect timeout after 1000ms, move on!", "Connected to host (127.0.0.1) port 443".
// Any other note is ignored.
void NoteConnectText(std::vector<ConnectAttempt>& attempts, std::string_view text, double nowMs);

// Settles the attempts still open when the transfer ended with result: one whose address
// is primaryIp (libcurl's connected address) connected, otherwise a timeout ends them.
void SettleAttempts(std::vector<ConnectAttempt>& attempts, CURLcode result,
                    std::string_view primaryIp, double nowMs);

// "127.0.0.2 port 8443: timed out after 1000 ms"
std::string DescribeAttempt(const ConnectAttempt& attempt);

}  // namespace Ardentis
