#include "communication/route_notes.h"

#include <string_view>

#include "communication/connect_attempts.h"
#include "communication/proxy_notes.h"
#include "platform/system_proxy.h"

namespace Ardentis {
namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int OnRouteNote(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
    auto* notes = static_cast<RouteNotes*>(user);
    const std::string_view text(data, size);
    if (type == CURLINFO_TEXT) {
        NoteConnectText(notes->route.attempts, text, MillisecondsSince(notes->started));
        NoteProxyText(notes->route.proxy, text);
        if (std::string setting = ProxySettingIn(text); !setting.empty())
            notes->proxySetting = std::move(setting);
    } else if (type == CURLINFO_HEADER_IN) {
        NoteProxyHeader(notes->route.proxy, text);
    }
    return 0;
}

curl_socket_t OnOpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
    if (!static_cast<RouteNotes*>(user)->route.proxy.settingProblem.empty()) return CURL_SOCKET_BAD;
    return socket(address->family, address->socktype, address->protocol);
}

int OnRequestReady(void* user, char*, char*, int, int) {
    const PingProxy& proxy = static_cast<RouteNotes*>(user)->route.proxy;
    const bool bypassed = !proxy.variable.empty() && !proxy.connected;
    return bypassed || !proxy.settingProblem.empty() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

void FinishRoute(RouteNotes& notes, CURL* curl, CURLcode result) {
    PingRoute& route = notes.route;
    char* ip = nullptr;
    curl_easy_getinfo(curl, CURLINFO_PRIMARY_IP, &ip);
    SettleAttempts(route.attempts, result, ip ? ip : "", MillisecondsSince(notes.started));
    route.lookupTimedOut =
        result == CURLE_OPERATION_TIMEDOUT && route.proxy.url.empty() && route.attempts.empty();
    curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &route.proxy.connectCode);
    if (route.proxy.url.empty()) route.proxy.unusedVariable = ProxyVariableInEnvironment();
    route.proxy.machine = platform::MachineProxySetting();
}

}  // namespace Ardentis
