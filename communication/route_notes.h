// The connection's hook into libcurl's notes on the transfer: they fill the ping's route
// (the addresses tried, the proxy and its answer) while the transfer runs.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <string>

#include "communication/ping_facts.h"

namespace Ardentis {

struct RouteNotes {
    PingRoute& route;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::string proxySetting;  // the proxy variable's value, credentials and all: never shown
};

// libcurl's debug callback (CURLOPT_DEBUGFUNCTION), with a RouteNotes as its data. Reads
// libcurl's notes and the header lines that arrive; never the data that goes out, which
// holds the token.
int OnRouteNote(CURL* curl, curl_infotype type, char* data, std::size_t size, void* notes);

// libcurl's call for each socket it would connect (CURLOPT_OPENSOCKETFUNCTION), with a
// RouteNotes as its data: opens none when the proxy variable names a proxy that libcurl
// cannot use, which it would otherwise leave out and connect directly.
curl_socket_t OnOpenSocket(void* notes, curlsocktype purpose, curl_sockaddr* address);

// libcurl's last call before the request goes out (CURLOPT_PREREQFUNCTION), with a
// RouteNotes as its data: ends the transfer when a proxy was named but libcurl is not
// connected through it, as it does without a word for a setting it cannot use.
int OnRequestReady(void* notes, char* ip, char* localIp, int port, int localPort);

// After the transfer ended with result: settles the attempts still open and adds what
// libcurl and the system know at the end (the proxy's answer code, a proxy variable that
// no_proxy overruled, the machine's own proxy setting).
void FinishRoute(RouteNotes& notes, CURL* curl, CURLcode result);

}  // namespace Ardentis
