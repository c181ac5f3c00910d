// What a walk-through frame shows besides the plain view: the shading, triangle edges,
// every space instead of the visible ones, a frozen visible set seen from elsewhere, space
// boxes, and the info panel. Everything here is decided without any window or GL: the
// renderer is handed FrameLists and draws them as they are.
//
// Contents: shading names, mode keys, frame lists and colours, WalkthroughView.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "level/LevelTypes.h"
#include "visibility/ViewFrustum.h"
#include "visibility/VisibleSpaceSearch.h"

namespace vantrell {

class Walkthrough;

enum class Shading : std::uint8_t {
    vertex,  // the spot light at the eye, lit at the corners (the walk-through's own picture)
    pixel,   // the same light worked out for every pixel, plus a little ambient light
    flat,    // the list colour scaled by how squarely the face turns to the eye; no light
};

// "vertex", "pixel" or "flat".
[[nodiscard]] const char* shadingName(Shading shading);
// The shading with that name; nullopt for any other text.
[[nodiscard]] std::optional<Shading> shadingNamed(std::string_view name);
// vertex -> pixel -> flat -> vertex.
[[nodiscard]] Shading nextShading(Shading shading);

// The keys that switch what a frame shows (the shell maps its keys onto them).
enum class ModeKey : std::uint8_t {
    shading,     // L
    wireframe,   // G
    allSpaces,   // B
    freeze,      // V
    spaceBoxes,  // N
    fly,         // F
    infoPanel,   // Tab
    fullscreen,  // F11: acted on by the window alone
};

struct Colour {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
};

// The colour of the space at place (0 first) of a list of count: green first, then from red
// at place 1 toward blue: ((count - p + 1) / count, 0, (p - 1) / count), in float.
[[nodiscard]] Colour listPlaceColour(std::size_t place, std::size_t count);

inline constexpr Colour failedBoxColour{0.5f, 0.5f, 0.5f};      // frozen: reached, box failed
inline constexpr Colour frozenVolumeColour{1.0f, 0.55f, 0.0f};  // frozen view volume
inline constexpr Colour spaceBoxColour{0.0f, 0.8f, 0.8f};       // space boxes (N)
inline constexpr Colour edgeColour{1.0f, 1.0f, 1.0f};           // triangle edges (G)

struct DrawnSpace {
    std::uint32_t space = 0;  // an index outside the level draws nothing
    Colour colour;
};

struct LineSegment {
    Vector3 from;
    Vector3 to;
    Colour colour;
};

// Everything one frame draws, in order.
struct FrameLists {
    std::vector<DrawnSpace> spaces;
    std::vector<LineSegment> lines;   // drawn over the level, never hidden by it
    std::uint32_t listedCount = 0;    // the count the overlay shows ("SPs")
    std::uint64_t triangleCount = 0;  // triangle entries of the drawn spaces
    Shading shading = Shading::vertex;
    bool wireframe = false;

    void clear();
};

// Lists spaces in their list-place colours, as a frame draws a visible list.
void listSpacesInPlaceColours(std::span<const std::uint32_t> spaces, FrameLists& lists);
// The twelve edges of a box.
void addBoxLines(const BoundingBox& box, const Colour& colour, std::vector<LineSegment>& lines);
// The open view volume from eye as lines: its four edges out to reach, the rim joining their
// ends, and the view direction. Edges of planes that meet nowhere ahead are left out.
void addViewVolumeLines(const Vector3& eye, const Vector3& forward, const ViewFrustum& frustum, float reach,
                        std::vector<LineSegment>& lines);

// The visible set kept by the freeze key: the search as it was, from where it was.
struct FrozenView {
    Vector3 eye;
    Vector3 forward;
    ViewFrustum frustum;
    SearchRecord record;
    std::size_t failedCount = 0;  // spaces whose box failed
};

class WalkthroughView {
public:
    static constexpr float frozenVolumeReach = 8.0f;  // world units the frozen volume's edges run

    Shading shading = Shading::vertex;
    bool wireframe = false;
    bool allSpaces = false;
    bool spaceBoxes = false;
    bool infoPanel = false;

    // Acts on a mode key: switches the setting, freezes or thaws the visible set from the
    // walk-through's camera, starts or ends flying. fullscreen changes nothing here.
    void press(ModeKey key, Walkthrough& walkthrough);

    [[nodiscard]] bool frozen() const { return frozen_.has_value(); }
    [[nodiscard]] const FrozenView* frozenView() const { return frozen_ ? &*frozen_ : nullptr; }
    void freeze(Walkthrough& walkthrough);
    void thaw() { frozen_.reset(); }

    // The lists of the next frame of walkthrough. Frozen: the frozen list in its colours, the
    // spaces whose boxes failed in grey, the frozen volume as lines; no search. Otherwise
    // every space in index order (allSpaces) or the visible list. Space boxes are those of
    // the listed spaces. With every mode off this is exactly the visible list in place
    // colours, and allocates nothing once lists has grown to the level.
    void buildFrame(Walkthrough& walkthrough, FrameLists& lists);

private:
    std::vector<std::uint32_t> list;
    std::optional<FrozenView> frozen_;
};

}  // namespace vantrell
