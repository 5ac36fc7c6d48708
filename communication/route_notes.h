// The connection's hook into libcurl's notes on the transfer: they fill the ping's route
// (the addresses tried, the proxy and its answer) while the transfer runs.
#pragma once

#include <curl/curl.h>

#include <chrono>

#include "communication/ping_facts.h"

namespace Ardentis {

struct RouteNotes {
    PingRoute& route;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

// libcurl's debug callback (CURLOPT_DEBUGFUNCTION), with a RouteNotes as its data. Reads
// libcurl's notes and the header lines that arrive; never the data that goes out, which
// holds the token.
int OnRouteNote(CURL* curl, curl_infotype type, char* data, std::size_t size, void* notes);

// After the transfer ended with result: settles the attempts still open and adds what
// libcurl and the system know at the end (the proxy's answer code, a proxy variable that
// no_proxy overruled, the machine's own proxy setting).
void FinishRoute(RouteNotes& notes, CURL* curl, CURLcode result);

}  // namespace Ardentis
