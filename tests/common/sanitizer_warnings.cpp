#include "sanitizer_warnings.h"

std::string withoutSanitizerWarnings(const std::string &err) {
    // Each warning is "==<pid>==WARNING: AddressSanitizer failed to allocate 0x... bytes\n".
    static const std::string marker = "==WARNING: AddressSanitizer failed to allocate ";
    std::string kept = err;
    for (std::size_t at; (at = kept.find(marker)) != std::string::npos;) {
        std::size_t start = kept.rfind("==", at - 1);
        std::size_t end = kept.find('\n', at);
        kept.erase(start, end == std::string::npos ? std::string::npos : end + 1 - start);
    }
    return kept;
}
