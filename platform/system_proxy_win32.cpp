#include "platform/system_proxy.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winhttp.h>

#include "platform/native_path.h"

namespace platform {

SystemProxy MachineProxySetting() {
    WINHTTP_PROXY_INFO info = {};
    if (!WinHttpGetDefaultProxyConfiguration(&info)) return {};
    SystemProxy setting{.known = true, .proxy = {}, .bypass = {}};
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy)
        setting.proxy = ToNativePath(info.lpszProxy);
    if (info.lpszProxyBypass) setting.bypass = ToNativePath(info.lpszProxyBypass);
    // The strings are the caller's to free.
    if (info.lpszProxy) GlobalFree(info.lpszProxy);
    if (info.lpszProxyBypass) GlobalFree(info.lpszProxyBypass);
    return setting;
}

}  // namespace platform
