// The proxy a ping went through, read from libcurl's notes on the transfer and the header
// lines that arrived: which variable named it and whether libcurl can use its value, or
// that no_proxy excluded the server; whether libcurl reached it, and its answer to CONNECT.
#pragma once

#include <string>
#include <string_view>

#include "communication/ping_facts.h"

namespace Ardentis {

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
