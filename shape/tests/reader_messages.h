// The reader's messages, as tests expect them byte for byte.
#ifndef TESTS_READER_MESSAGES_H
#define TESTS_READER_MESSAGES_H

#include <string>

const std::string kCannotOpen = "Read error!\n";
const std::string kNotBsv2 = "File is not BSV2 format!\n";
const std::string kFileReadError = "File Read error!!\n";
const std::string kTooFewVertices = "You can't have less than 0 vertices!";
const std::string kVTableError = "Read error in vTable read\n";
const std::string kTTableError = "Read error in tTable read\n";
const std::string kOutOfRange = "Vertex number out of range in tTable read\n";
const std::string kAllocationFailed = "ahhh\n!";  // on standard output

#endif
