// What every tool's command line shares: "--" ends the options, "-h" and
// "--help" print the usage, "--version" the version, and an option a tool
// does not know is a usage error, said the same way by every tool.
#ifndef PROGRAM_COMMAND_LINE_H
#define PROGRAM_COMMAND_LINE_H

#include <string>

// A tool, as its messages name it.
struct ProgramInfo {
    const char *name;      // "bsv2-info": the prefix of its messages and of its version line
    const char *usage;     // the usage text, its first line "Usage: ...", ending in a newline
    int usageErrorStatus;  // the exit status of a usage error
    // Lines printed after "NAME VERSION" for --version (each ending in a
    // newline), or null for none.
    std::string (*versionDetails)();
};

// Where the reading of a command line has got to.
struct ArgumentReader {
    int argc;
    char **argv;
    int next = 1;               // the next argument to look at
    bool optionsEnded = false;  // "--" has been seen
};

enum class ArgumentKind { kEnd, kFile, kOption };

// The next argument, in *argument (argv's own string, not a copy):
// kOption for one that begins with "-" and is more than "-", before any
// "--"; kFile for any other ("-", the empty string, anything after "--");
// kEnd when there are no more. "--" itself ends the options and is not
// returned.
ArgumentKind nextArgument(ArgumentReader *reader, const char **argument);

// The value of the option just returned: the next argument, whatever it
// looks like. False when there is none.
bool optionValue(ArgumentReader *reader, const char **value);

// For an option the tool does not take itself: "-h" and "--help" print the
// usage on standard output, "--version" prints "NAME VERSION" and the
// details on standard output, and both return 0; any other is a usage
// error ("NAME: unknown option OPTION", then the usage, on standard
// error), returning the tool's usage error status.
int sharedOption(const ProgramInfo &program, const char *option);

// Prints "NAME: PROBLEM" and the usage on standard error, or the usage
// alone when `problem` is empty. Returns the tool's usage error status.
int usageError(const ProgramInfo &program, const std::string &problem);

#endif
