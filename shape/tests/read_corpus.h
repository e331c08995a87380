// What the reader's differential tests share: the test corpus, random
// changes to it, and what a reporting read gives, whole.
#ifndef SHAPE_TESTS_READ_CORPUS_H
#define SHAPE_TESTS_READ_CORPUS_H

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "shape.h"
#include "test_files.h"

// The fuzz seeds, the regression files and the sample models, as bytes.
inline std::vector<std::string> corpusFiles() {
    std::vector<std::string> texts;
    for (const char *directory : {FUZZ_CORPUS_DIR, REGRESSIONS_DIR, MODELS_DIR}) {
        for (const auto &entry : std::filesystem::directory_iterator(directory)) {
            if (entry.path().extension() == ".bsv2") texts.push_back(readWholeFile(entry.path()));
        }
    }
    return texts;
}

// A random change to `text`, drawn from what breaks number syntax most.
inline std::string mutate(std::string text, std::mt19937 &random) {
    // Built with its length: the NUL inside is one of the bytes.
    static const char kByteList[] =
        "0123456789+-.eEpPxXiInNaAfFtTyY \t\r\n\v\f\0\xff"
        "BSV2";
    static const std::string kBytes(kByteList, sizeof kByteList - 1);
    std::uniform_int_distribution<int> kind(0, 5);
    int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; i++) {
        std::size_t at = text.empty() ? 0 : random() % (text.size() + 1);
        char byte = kBytes[random() % kBytes.size()];
        switch (kind(random)) {
            case 0:  // insert a byte
                text.insert(at, 1, byte);
                break;
            case 1:  // replace a byte
                if (at < text.size()) text[at] = byte;
                break;
            case 2:  // delete a run
                if (at < text.size()) text.erase(at, 1 + random() % 4);
                break;
            case 3:  // cut the file short
                text.resize(at);
                break;
            case 4: {  // copy a run elsewhere
                if (text.empty()) break;
                std::size_t from = random() % text.size();
                text.insert(at, text.substr(from, 1 + random() % 16));
                break;
            }
            default:  // set a random byte
                if (at < text.size()) text[at] = static_cast<char>(random());
        }
    }
    return text;
}

// What a reporting reader gives: the cause, the message and the tables.
struct Reported {
    Bsv2Cause cause = BSV2_CAUSE_NONE;
    std::string message;
    std::vector<std::uint32_t> coordinateBits;
    std::vector<int> vertexNumbers;
    int numTris = 0;

    bool operator==(const Reported &other) const {
        return cause == other.cause && message == other.message && coordinateBits == other.coordinateBits &&
               vertexNumbers == other.vertexNumbers && numTris == other.numTris;
    }
};

inline Reported reported(Shape shape, Bsv2Cause cause, const char *message) {
    Reported result;
    result.cause = cause;
    result.message = message;
    if (shape == nullptr) return result;
    result.coordinateBits.resize(3 * static_cast<std::size_t>(shape->numVertices));
    std::memcpy(result.coordinateBits.data(), shape->vTable, result.coordinateBits.size() * sizeof(float));
    result.numTris = shape->numTris;
    if (shape->numTris > 0) result.vertexNumbers.assign(shape->tTable, shape->tTable + 3 * shape->numTris);
    destroyShape(shape);
    return result;
}

#endif
