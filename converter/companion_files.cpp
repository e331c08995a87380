#include "companion_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "file_names.h"

namespace {

std::string trimmed(const std::string &text) {
    std::size_t begin = text.find_first_not_of(" \t\r\f");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t\r\f") - begin + 1);
}

// The rest of every line whose first word is `keyword`, trimmed.
std::vector<std::string> linesAfter(const std::string &path, const char *keyword) {
    std::vector<std::string> found;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::size_t length = std::strlen(keyword);
    while (std::getline(in, line)) {
        std::string text = trimmed(line);
        if (text.compare(0, length, keyword) == 0 && text.size() > length && std::isspace(text[length]))
            found.push_back(trimmed(text.substr(length)));
    }
    return found;
}

// OBJ: "mtllib NAME", where the importer takes the whole rest of the line
// as one name.
std::vector<std::string> objCompanions(const std::string &path) { return linesAfter(path, "mtllib"); }

// LightWave scenes: "LoadObjectLayer LAYER [ID] NAME" and "LoadObject NAME".
std::vector<std::string> lwsCompanions(const std::string &path) {
    std::vector<std::string> names = linesAfter(path, "LoadObject");
    for (std::string &layer : linesAfter(path, "LoadObjectLayer")) {
        std::size_t at = layer.find_first_not_of("0123456789");
        layer = trimmed(layer.substr(at == std::string::npos ? layer.size() : at));
        // Newer scenes put a hexadecimal item number before the name.
        std::size_t end = layer.find_first_of(" \t");
        if (end != std::string::npos && layer.find_first_not_of("0123456789abcdefABCDEF") == end)
            layer = trimmed(layer.substr(end));
        names.push_back(layer);
    }
    return names;
}

// Unreal meshes come in three files named after one stem: NAME_d.3d (the
// triangles), NAME_a.3d (the vertices) and NAME.uc (the script); any of them
// may be the one given.
std::vector<std::string> unrealCompanions(const std::string &path) {
    std::size_t slash = path.find_last_of('/');
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    std::size_t cut = lowerExtension(name) == ".3d" ? name.find_last_of('_') : name.find_last_of('.');
    if (cut == std::string::npos) return {};
    std::string stem = name.substr(0, cut);
    return {stem + "_d.3d", stem + "_a.3d", stem + ".uc"};
}

// Half-Life models keep their textures in NAMET.mdl and their animation
// groups in NAME01.mdl, NAME02.mdl, ...
std::vector<std::string> halfLifeCompanions(const std::string &path) {
    std::size_t slash = path.find_last_of('/');
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string stem = name.substr(0, name.find_last_of('.')), extension = name.substr(stem.size());
    std::string folder = path.substr(0, path.size() - name.size());
    std::vector<std::string> names = {stem + "T" + extension};
    for (int group = 1; group < 1000; group++) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", group);
        struct stat info;
        if (stat((folder + stem + number + extension).c_str(), &info) != 0) break;
        names.push_back(stem + number + extension);
    }
    return names;
}

// Follows a glTF document to the "uri" of each of its buffers: the buffers
// are an array (glTF 2) or an object of named buffers (glTF 1).
struct BufferUris : nlohmann::json_sax<nlohmann::json> {
    struct Level {
        bool isObject;
        std::string key;  // the last key read in an object
    };
    std::vector<Level> levels;
    std::vector<std::string> uris;

    bool inBufferObject() const {
        return levels.size() == 3 && levels[0].isObject && levels[0].key == "buffers" && levels[2].isObject &&
               levels[2].key == "uri";
    }
    bool string(string_t &value) override {
        if (inBufferObject() && value.compare(0, 5, "data:") != 0) uris.push_back(value);
        return true;
    }
    bool start_object(std::size_t) override {
        levels.push_back({true, ""});
        return true;
    }
    bool key(string_t &value) override {
        levels.back().key = value;
        return true;
    }
    bool end_object() override {
        levels.pop_back();
        return true;
    }
    bool start_array(std::size_t) override {
        levels.push_back({false, ""});
        return true;
    }
    bool end_array() override {
        levels.pop_back();
        return true;
    }
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t &) override { return true; }
    bool binary(binary_t &) override { return true; }
    bool parse_error(std::size_t, const std::string &, const nlohmann::detail::exception &) override { return false; }
};

// The JSON of a .gltf file, or of a .glb file's first chunk.
std::string gltfJson(const std::string &path, bool binary) {
    std::ifstream in(path, std::ios::binary);
    if (!binary) return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::uint32_t header[5];  // magic, version, length; then the chunk's length and type
    if (!in.read(reinterpret_cast<char *>(header), sizeof header) || header[0] != 0x46546C67 || header[4] != 0x4E4F534A)
        return "";
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || header[3] > static_cast<std::uint64_t>(info.st_size)) return "";
    std::string json(header[3], '\0');
    in.read(json.data(), static_cast<std::streamsize>(json.size()));
    return in ? json : "";
}

std::vector<std::string> gltfCompanions(const std::string &path) {
    BufferUris uris;
    try {
        nlohmann::json::sax_parse(gltfJson(path, lowerExtension(path) == ".glb"), &uris);
    } catch (const std::exception &) {
        return {};
    }
    return uris.uris;
}

using Finder = std::vector<std::string> (*)(const std::string &path);

Finder finderFor(const std::string &extension) {
    if (extension == ".obj") return objCompanions;
    if (extension == ".gltf" || extension == ".glb") return gltfCompanions;
    if (extension == ".lws") return lwsCompanions;
    if (extension == ".3d" || extension == ".uc") return unrealCompanions;
    if (extension == ".mdl") return halfLifeCompanions;
    return nullptr;
}

std::string resolved(const std::string &path) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : "";
}

}  // namespace

std::vector<std::string> companionFiles(const std::string &path) {
    Finder finder = finderFor(lowerExtension(path));
    std::string self = resolved(path);
    if (finder == nullptr || self.empty()) return {};
    std::string folder = self.substr(0, self.find_last_of('/') + 1);
    std::string named = path.substr(0, path.find_last_of('/') + 1);  // the folder as given, for relative names
    std::vector<std::string> companions;
    for (const std::string &name : finder(path)) {
        if (name.empty() || name.front() == '/') continue;
        std::string real = resolved(named + name);
        struct stat info;
        bool inFolder = real.compare(0, folder.size(), folder) == 0 && real != self;
        if (!inFolder || stat(real.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        if (std::find(companions.begin(), companions.end(), real) == companions.end()) companions.push_back(real);
    }
    return companions;
}
