// What kind of file a path names, from its first bytes: the one place every command and the
// main dialog decide between our own levels and the game files the importer reads.
#pragma once

#include <string>

namespace vantrell {

enum class InputKind {
    level,        // our own format, or anything that is not a game file: our loader decides
    gameLevel,    // begins with "IBSP"
    gameArchive,  // begins like a zip archive: "PK\3\4", or "PK\5\6" for one with no entries
    scene,        // a modelling tool's scene: binary glTF ("glTF"), or a scene file name extension
                  // (.gltf .glb .obj .fbx .dae .ply .stl .3ds .blend) on a file that is not a level
};

// Looks at the first bytes of a regular file. Anything else (a pipe, a folder, a missing
// file) is not read here, since reading a pipe would take its bytes from the loader and
// could wait for ever, and counts as InputKind::level.
[[nodiscard]] InputKind inputKindOf(const std::string& path);

}  // namespace vantrell
