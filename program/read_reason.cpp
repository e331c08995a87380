#include "read_reason.h"

#include <algorithm>
#include <cstring>

std::string readReason(const char *message, Bsv2Cause cause, int systemError) {
    std::string reason = message != nullptr ? message : "";
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    while (!reason.empty() && reason.back() == ' ') reason.pop_back();
    if (reason.empty()) reason = bsv2CauseText(cause);
    if (systemError != 0) reason += std::string(" (") + std::strerror(systemError) + ")";
    return reason;
}
