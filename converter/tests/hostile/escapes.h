// What code a hostile mesh file got to run inside an importer would try:
// each attempt reaches for something outside the import's input, and says
// whether it got there. The same attempts run unconfined (where each must
// succeed, or the test proves nothing) and inside the converter's import
// sandbox (where each must fail).
#ifndef CONVERTER_TESTS_HOSTILE_ESCAPES_H
#define CONVERTER_TESTS_HOSTILE_ESCAPES_H

#include <string>

// Runs the attempt called `name`, taking its targets from the environment:
//   HOSTILE_DIR     the folder of the input: files are made here
//   HOSTILE_INPUT   the input, opened read-only to change it through
//   HOSTILE_SECRET  a file in another folder, to read
//   HOSTILE_BESIDE  a file beside the input that it does not name, to read
//   HOSTILE_NAMED   a file the input names as its material library that is
//                   no material library, to read
//   HOSTILE_HIDDEN  a file the input names below a hidden folder, to read
//   HOSTILE_PID     another process of the user, to signal and trace
//   HOSTILE_FD      a descriptor inherited from the converter's caller
//   Returns true when the attempt got through, with what it got (or did)
//   in *evidence; false when it was stopped, or `name` is unknown.
bool tryEscape(const std::string &name, std::string *evidence);

#endif
