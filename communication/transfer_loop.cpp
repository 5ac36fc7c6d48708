#include "communication/transfer_loop.h"

#include "communication/curl_handles.h"

namespace Ardentis {
namespace {

constexpr int kLongestWaitMs = 100;

}  // namespace

CURLcode PerformTransfer(CURL* curl) {
    const CurlMultiPtr multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), curl) != CURLM_OK)
        return curl_easy_perform(curl);
    CURLcode result = CURLE_FAILED_INIT;
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
        if (running > 0 &&
            curl_multi_poll(multi.get(), nullptr, 0, kLongestWaitMs, nullptr) != CURLM_OK)
            break;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == curl)
            result = message->data.result;
    curl_multi_remove_handle(multi.get(), curl);
    return result;
}

}  // namespace Ardentis
