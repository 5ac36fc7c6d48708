// The ping's route, captured from libcurl's notes on the transfer and the header lines that
// arrive while it runs: the addresses tried and what became of each, and the proxy (which
// variable named it and whether libcurl can use its value, or that no_proxy excluded the
// server; whether libcurl reached it, and its answer to CONNECT). Its lookup is the only
// one the ping makes: libcurl 7.88 does not hand out the list it resolved, and an address
// after the one that connected is never tried. Everything is parsed here, once; the
// log's lines are made from the route by the trace (ping_trace.h).
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "communication/ping_facts.h"
#include "platform/system_proxy.h"
#include "util/printable_text.h"

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

// The machine's own proxy setting as the route keeps it: printable, with the proxy it
// names for https read out of it.
MachineProxy ReadMachineProxy(const platform::SystemProxy& setting);

// A header line without its line end.
std::string_view WithoutLineEnd(std::string_view line);

// A status line, "HTTP/1.1 401 Unauthorized", read once for both that take one: the
// server's answer and the proxy's answer to CONNECT.
struct StatusLine {
    long status = 0;     // 401; 0 when the line gives none
    PrintableText text;  // "401 Unauthorized", printable; empty when the line has no words
};

// Nothing when line (without its line end) is not a status line.
std::optional<StatusLine> ReadStatusLine(std::string_view line);

// libcurl's words on a failure as the ping keeps them: without the proxy setting they may
// quote (WithoutProxySecret), printable.
PrintableText LibcurlWords(const std::string& detail, const std::string& setting);

// The pieces of the route, each from one kind of note; OnRouteNote and FinishRoute call them.

// Takes one of libcurl's informational notes, seen at nowMs on the ping's clock:
// "  Trying 127.0.0.1:443...", "connect to 127.0.0.1 port 443 failed: Connection refused",
// "ipv4 connect timeout after 1000ms, move on!", "Connected to host (127.0.0.1) port 443".
// Any other note is ignored.
void NoteConnectText(std::vector<ConnectAttempt>& attempts, std::string_view text, double nowMs);

// Settles the attempts still open when the transfer ended with result: one whose address
// is primaryIp (libcurl's connected address) connected, otherwise a timeout ends them.
void SettleAttempts(std::vector<ConnectAttempt>& attempts, CURLcode result,
                    std::string_view primaryIp, double nowMs);

// Takes one of libcurl's informational notes: "Uses proxy env variable NAME == 'VALUE'"
// and "Connected to HOST (IP) port PORT".
void NoteProxyText(PingProxy& proxy, std::string_view text);

// The value in a note "Uses proxy env variable NAME == 'VALUE'" of a variable that names a
// proxy, credentials and all; empty for any other note. Kept only to clean libcurl's words.
std::string ProxySettingIn(std::string_view text);

// Takes one header line (line end included or not) that arrived; while libcurl is
// connected to the proxy and its tunnel is not open, the lines are the proxy's answer to
// CONNECT.
void NoteProxyHeader(PingProxy& proxy, std::string_view line);

// A proxy setting without its credentials, printable: "http://127.0.0.1:8080/".
std::string WithoutCredentials(const std::string& proxy);

// text (libcurl's words on a failure) without the proxy setting it may quote: the
// setting is replaced by its form without credentials, and text that still holds the
// password is dropped whole.
std::string WithoutProxySecret(const std::string& text, const std::string& setting);

// The variable libcurl would take a proxy for https from, in its order (https_proxy,
// HTTPS_PROXY, all_proxy, ALL_PROXY); empty when none is set.
std::string ProxyVariableInEnvironment();

}  // namespace Ardentis
