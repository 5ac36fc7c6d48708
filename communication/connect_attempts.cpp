#include "communication/connect_attempts.h"

#include <boost/algorithm/string/predicate.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "util/printable_text.h"

namespace Ardentis {
namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

long Number(std::string_view text) {
    long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool IsIpv6(const ConnectAttempt& attempt) {
    return attempt.address.find(':') != std::string::npos;
}

// The latest attempt still open that matches.
template <typename Match>
ConnectAttempt* LatestOpen(std::vector<ConnectAttempt>& attempts, Match match) {
    for (auto it = attempts.rbegin(); it != attempts.rend(); ++it)
        if (it->outcome == AttemptOutcome::Pending && match(*it)) return &*it;
    return nullptr;
}

void Settle(ConnectAttempt* attempt, AttemptOutcome outcome, double nowMs,
            std::string_view reason = {}) {
    if (!attempt) return;
    attempt->outcome = outcome;
    attempt->milliseconds = std::max(0.0, nowMs - attempt->startedMs);
    if (outcome == AttemptOutcome::Failed) attempt->reason = util::Printable(reason);
}

// "Connection refused", "Network is unreachable", "No route to host", "Timed out" (the
// words differ between the C library and Winsock).
AttemptOutcome OutcomeOf(std::string_view reason) {
    if (boost::algorithm::icontains(reason, "refused")) return AttemptOutcome::Refused;
    if (boost::algorithm::icontains(reason, "unreachable") ||
        boost::algorithm::icontains(reason, "no route"))
        return AttemptOutcome::Unreachable;
    if (boost::algorithm::icontains(reason, "timed out")) return AttemptOutcome::TimedOut;
    return AttemptOutcome::Failed;
}

}  // namespace

void NoteConnectText(std::vector<ConnectAttempt>& attempts, std::string_view text, double nowMs) {
    text = Trimmed(text);
    if (text.starts_with("Trying ") && text.ends_with("...")) {
        // "Trying 127.0.0.1:443..." or "Trying [::1]:443..."
        const std::string_view target = text.substr(7, text.size() - 10);
        const std::size_t colon = target.rfind(':');
        if (colon == std::string_view::npos) return;
        std::string_view address = target.substr(0, colon);
        if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
            address = address.substr(1, address.size() - 2);
        attempts.push_back({.address = std::string(address),
                            .port = Number(target.substr(colon + 1)),
                            .outcome = AttemptOutcome::Pending,
                            .reason = {},
                            .startedMs = nowMs,
                            .milliseconds = 0});
    } else if (text.starts_with("connect to ") || text.starts_with("Immediate connect fail")) {
        // "connect to 127.0.0.1 port 443 failed: Connection refused", or
        // "Immediate connect fail for 127.0.0.1: Network is unreachable"
        const bool connectTo = text.starts_with("connect to ");
        const std::size_t words = connectTo ? 11 : 27;
        const std::size_t end = text.find(connectTo ? " port " : ": ", words);
        const std::size_t colon = text.find(": ", words);
        if (end == std::string_view::npos || colon == std::string_view::npos) return;
        const std::string_view address = text.substr(words, end - words);
        const std::string_view reason = text.substr(colon + 2);
        Settle(LatestOpen(attempts, [&](const ConnectAttempt& a) { return a.address == address; }),
               OutcomeOf(reason), nowMs, reason);
    } else if (text.ends_with("move on!")) {
        // "ipv4 connect timeout after 1000ms, move on!": the family's attempt in progress.
        const bool ipv6 = text.starts_with("ipv6");
        Settle(LatestOpen(attempts, [&](const ConnectAttempt& a) { return IsIpv6(a) == ipv6; }),
               AttemptOutcome::TimedOut, nowMs);
    } else if (text.starts_with("Connected to ")) {
        // "Connected to host (127.0.0.1) port 443 (#0)"
        const std::size_t open = text.find(" (");
        const std::size_t close = text.find(") port ");
        if (open == std::string_view::npos || close == std::string_view::npos || close < open)
            return;
        const std::string_view address = text.substr(open + 2, close - open - 2);
        Settle(LatestOpen(attempts, [&](const ConnectAttempt& a) { return a.address == address; }),
               AttemptOutcome::Connected, nowMs);
    }
}

void SettleAttempts(std::vector<ConnectAttempt>& attempts, CURLcode result,
                    std::string_view primaryIp, double nowMs) {
    for (ConnectAttempt& attempt : attempts) {
        if (attempt.outcome != AttemptOutcome::Pending) continue;
        if (!primaryIp.empty() && attempt.address == primaryIp)
            Settle(&attempt, AttemptOutcome::Connected, nowMs);
        else if (result == CURLE_OPERATION_TIMEDOUT)
            Settle(&attempt, AttemptOutcome::TimedOut, nowMs);
        else
            Settle(&attempt, AttemptOutcome::Failed, nowMs, "ended with the transfer");
    }
}

std::string DescribeAttempt(const ConnectAttempt& attempt) {
    std::string text = attempt.address + " port " + std::to_string(attempt.port) + ": ";
    switch (attempt.outcome) {
        case AttemptOutcome::Pending:
            return text + "no outcome";
        case AttemptOutcome::Connected:
            text += "connected";
            break;
        case AttemptOutcome::Refused:
            text += "refused";
            break;
        case AttemptOutcome::TimedOut:
            text += "timed out";
            break;
        case AttemptOutcome::Unreachable:
            text += "unreachable";
            break;
        case AttemptOutcome::Failed:
            text += "failed (" + attempt.reason + ")";
            break;
    }
    return text + " after " + std::to_string(std::lround(attempt.milliseconds)) + " ms";
}

}  // namespace Ardentis
