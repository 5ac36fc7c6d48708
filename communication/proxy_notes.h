// The proxy a ping went through, read from libcurl's notes on the transfer and the header
// lines that arrived: which variable named it, or that no_proxy excluded the server, and
// the proxy's answer to CONNECT.
#pragma once

#include <string>
#include <string_view>

#include "communication/ping_facts.h"

namespace Ardentis {

// Takes one of libcurl's informational notes; keeps "Uses proxy env variable NAME == 'VALUE'".
void NoteProxyText(PingProxy& proxy, std::string_view text);

// Takes one header line (line end included or not) that arrived; while a proxy is in use and
// its tunnel not open, the lines are the proxy's answer to CONNECT.
void NoteProxyHeader(PingProxy& proxy, std::string_view line);

// A proxy setting without its credentials, printable: "http://127.0.0.1:8080/".
std::string WithoutCredentials(const std::string& proxy);

// The variable libcurl would take a proxy for https from, in its order (https_proxy,
// HTTPS_PROXY, all_proxy, ALL_PROXY); empty when none is set.
std::string ProxyVariableInEnvironment();

}  // namespace Ardentis
