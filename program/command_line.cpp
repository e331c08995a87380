#include "command_line.h"

#include <cstdio>
#include <cstring>

#include "bsv2_version.h"

ArgumentKind nextArgument(ArgumentReader *reader, const char **argument) {
    while (reader->next < reader->argc) {
        const char *arg = reader->argv[reader->next++];
        bool option = !reader->optionsEnded && arg[0] == '-' && arg[1] != '\0';
        if (option && std::strcmp(arg, "--") == 0) {
            reader->optionsEnded = true;
            continue;
        }
        *argument = arg;
        return option ? ArgumentKind::kOption : ArgumentKind::kFile;
    }
    return ArgumentKind::kEnd;
}

bool optionValue(ArgumentReader *reader, const char **value) {
    if (reader->next >= reader->argc) return false;
    *value = reader->argv[reader->next++];
    return true;
}

int sharedOption(const ProgramInfo &program, const char *option) {
    if (std::strcmp(option, "-h") == 0 || std::strcmp(option, "--help") == 0) {
        std::fputs(program.usage, stdout);
        return 0;
    }
    if (std::strcmp(option, "--version") == 0) {
        std::printf("%s %s\n", program.name, BSV2_VERSION_STRING);
        if (program.versionDetails != nullptr) std::fputs(program.versionDetails().c_str(), stdout);
        return 0;
    }
    return usageError(program, std::string("unknown option ") + option);
}

int usageError(const ProgramInfo &program, const std::string &problem) {
    if (!problem.empty()) std::fprintf(stderr, "%s: %s\n", program.name, problem.c_str());
    std::fputs(program.usage, stderr);
    return program.usageErrorStatus;
}
