// The other files a mesh file makes its importer open: an OBJ's material
// libraries, a glTF's buffers, the objects of a LightWave scene, the parts
// of an Unreal mesh, a Half-Life model's textures and animations. An isolated import may read these and the mesh
// itself, nothing else (landlock.h).
#ifndef CONVERTER_COMPANION_FILES_H
#define CONVERTER_COMPANION_FILES_H

#include <string>
#include <vector>

// The companions that the mesh file at `path` names (or, for Unreal and
// Half-Life models, that its name implies) and that exist as regular files in the folder of
// `path` or below it, `path` itself never among them. A name that leads
// anywhere else (an absolute path, "..", a link out of the folder) is left
// out, and so is a file whose extension does not fit its role, whatever its
// case (an OBJ's material library a .mtl, a glTF's buffer a .bin, a
// LightWave scene's object a .lwo or .lxo, Unreal's parts .3d and .uc,
// Half-Life's .mdl), and one with a hidden component (starting with a dot)
// in its path below the folder. Each file is opened once (O_PATH) and
// judged by what was opened, so that a name its author swaps meanwhile
// (for a link to a secret) cannot pass as something else: each is returned
// as that O_PATH descriptor (close-on-exec), which the caller owns and
// closes. Without /proc, no companions are found.
//   Reads the file: an OBJ or LightWave scene line by line, a glTF's JSON
//   (for .glb only its JSON chunk); other formats are not read.
//   Never fails: a file that cannot be read or parsed names no companions.
std::vector<int> companionFiles(const std::string &path);

#endif
