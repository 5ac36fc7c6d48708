// Runs one transfer to its end.
#pragma once

#include <curl/curl.h>

namespace Ardentis {

// curl_easy_perform, but libcurl is asked to look at the transfer at least every 100 ms.
// libcurl 7.88 does not watch the socket of the next address it tries after one timed
// out: the connection it made was noticed only at its next timer, up to a second later,
// which with a short connect timeout turned a live second address into a timeout.
CURLcode PerformTransfer(CURL* curl);

}  // namespace Ardentis
