// libcurl objects owned by the connection, and the text libcurl hands out.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace Ardentis {

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// CURLM and CURL are the same type (void) to C++, so the multi handle has its own.
struct CurlMultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

using CurlPtr = std::unique_ptr<CURL, CurlDeleter>;
using CurlListPtr = std::unique_ptr<curl_slist, CurlDeleter>;
using CurlUrlPtr = std::unique_ptr<CURLU, CurlDeleter>;
using CurlMultiPtr = std::unique_ptr<CURLM, CurlMultiDeleter>;

// The part of url, or an empty string when it has none.
inline std::string CurlUrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK) return {};
    std::string value(text);
    curl_free(text);
    return value;
}

}  // namespace Ardentis
