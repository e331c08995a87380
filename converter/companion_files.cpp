#include "companion_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include <utility>

#include "file_names.h"

namespace {

std::string trimmed(const std::string &text) {
    std::size_t begin = text.find_first_not_of(" \t\r\f");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t\r\f") - begin + 1);
}

// The rest of every line whose first word is `keyword`, trimmed. The file
// is read through a fixed buffer, and a line too long to hold a path is
// passed over, not held: one endless line costs neither memory nor more
// time than reading it.
std::vector<std::string> linesAfter(const std::string &path, const char *keyword) {
    const std::size_t longest = PATH_MAX + 64;
    std::vector<std::string> found;
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return found;
    std::size_t length = std::strlen(keyword);
    std::string line;
    bool tooLong = false;
    auto endLine = [&] {
        std::string text = trimmed(line);
        if (!tooLong && text.compare(0, length, keyword) == 0 && text.size() > length &&
            std::isspace(static_cast<unsigned char>(text[length])))
            found.push_back(trimmed(text.substr(length)));
        line.clear();
        tooLong = false;
    };
    std::vector<char> block(64 * 1024);
    for (std::size_t got; (got = std::fread(block.data(), 1, block.size(), file.get())) > 0;) {
        for (const char *at = block.data(), *end = at + got; at < end;) {
            const char *newline = static_cast<const char *>(std::memchr(at, '\n', end - at));
            const char *stop = newline != nullptr ? newline : end;
            tooLong = tooLong || line.size() + (stop - at) > longest;
            if (!tooLong) line.append(at, stop);
            if (newline == nullptr) break;
            endLine();
            at = newline + 1;
        }
    }
    endLine();  // the last line, when no newline ends it
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

// How a format finds its companions, and the extensions (lower case) a
// companion of it may have: the ones its importer reads that file as.
struct CompanionRole {
    Finder finder;
    std::vector<const char *> extensions;
};

CompanionRole roleFor(const std::string &extension) {
    if (extension == ".obj") return {objCompanions, {".mtl"}};
    if (extension == ".gltf" || extension == ".glb") return {gltfCompanions, {".bin"}};
    if (extension == ".lws") return {lwsCompanions, {".lwo", ".lxo"}};
    if (extension == ".3d" || extension == ".uc") return {unrealCompanions, {".3d", ".uc"}};
    if (extension == ".mdl") return {halfLifeCompanions, {".mdl"}};
    return {nullptr, {}};
}

// A file opened once, following links as the importer's open will, and
// judged by what was opened rather than by its name, which its author may
// change meanwhile.
struct Found {
    int fd = -1;       // O_PATH
    std::string real;  // where it is, every link resolved
    struct stat info;
};

// Opens `path` as a Found; false (nothing held) when it cannot be opened
// or /proc cannot say where it is.
bool find(const std::string &path, Found *found) {
    found->fd = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (found->fd < 0) return false;
    char real[PATH_MAX];
    std::string link = "/proc/self/fd/" + std::to_string(found->fd);
    ssize_t length = readlink(link.c_str(), real, sizeof real);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof real || real[0] != '/' ||
        fstat(found->fd, &found->info) != 0) {
        close(found->fd);
        found->fd = -1;
        return false;
    }
    found->real.assign(real, static_cast<std::size_t>(length));
    return true;
}

// True when a component of `below` (a path relative to the input's folder)
// starts with a dot: what users keep out of sight (keys, settings, other
// programs' state) is never a model's companion.
bool hidden(const std::string &below) {
    for (std::size_t at = 0;; at++) {
        if (below.compare(at, 1, ".") == 0) return true;
        at = below.find('/', at);
        if (at == std::string::npos) return false;
    }
}

}  // namespace

std::vector<int> companionFiles(const std::string &path) {
    CompanionRole role = roleFor(lowerExtension(path));
    Found input;
    if (role.finder == nullptr || !find(path, &input)) return {};
    close(input.fd);  // where it is and which file it is are all that is needed
    std::string folder = input.real.substr(0, input.real.find_last_of('/') + 1);
    std::string named = path.substr(0, path.find_last_of('/') + 1);  // the folder as given, for relative names
    std::vector<int> companions;
    std::vector<std::pair<dev_t, ino_t>> taken = {{input.info.st_dev, input.info.st_ino}};
    for (const std::string &name : role.finder(path)) {
        Found file;
        if (name.empty() || name.front() == '/' || !find(named + name, &file)) continue;
        // The file reached, not the name, must fit: a link named a.mtl may
        // lead to anything.
        std::string extension = lowerExtension(file.real);
        bool fits = std::any_of(role.extensions.begin(), role.extensions.end(),
                                [&](const char *allowed) { return extension == allowed; });
        std::pair<dev_t, ino_t> identity = {file.info.st_dev, file.info.st_ino};
        if (file.real.compare(0, folder.size(), folder) != 0 || hidden(file.real.substr(folder.size())) ||
            !S_ISREG(file.info.st_mode) || !fits || std::find(taken.begin(), taken.end(), identity) != taken.end()) {
            close(file.fd);
            continue;
        }
        taken.push_back(identity);
        companions.push_back(file.fd);
    }
    return companions;
}
