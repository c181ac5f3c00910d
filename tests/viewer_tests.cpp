// The viewer shell's logic that needs no display: window input, loop pacing, screenshot
// names and folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "TestLevels.h"
#include "level/LevelFile.h"
#include "play/FramePacer.h"
#include "play/ScreenshotPath.h"
#include "play/WalkthroughWindow.h"
#include "play/WindowInput.h"
#include "walk/Walkthrough.h"
#include "walk/WalkthroughView.h"

namespace vantrell {
namespace {

using testlevels::TestLevel;

SDL_Event keyEvent(Uint32 type, SDL_Keycode key, bool repeat = false) {
    SDL_Event event{};
    event.type = type;
    event.key.keysym.sym = key;
    event.key.repeat = repeat ? 1 : 0;
    return event;
}

SDL_Event windowEvent(Uint8 what) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = what;
    return event;
}

SDL_Event motionEvent(Sint32 dx, Sint32 dy) {
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = dx;
    event.motion.yrel = dy;
    return event;
}

class WindowInputTest : public ::testing::Test {
protected:
    TestLevel level = testlevels::oneRoom();
    ManualCounter counter;
    Walkthrough walkthrough{level.geometry, level.partition, counter};
    WindowInput input{walkthrough};
};

TEST(ModeKeys, MapsTheModeLettersTabAndF11) {
    EXPECT_EQ(modeKeyFor(SDLK_l), ModeKey::shading);
    EXPECT_EQ(modeKeyFor(SDLK_g), ModeKey::wireframe);
    EXPECT_EQ(modeKeyFor(SDLK_b), ModeKey::allSpaces);
    EXPECT_EQ(modeKeyFor(SDLK_v), ModeKey::freeze);
    EXPECT_EQ(modeKeyFor(SDLK_n), ModeKey::spaceBoxes);
    EXPECT_EQ(modeKeyFor(SDLK_f), ModeKey::fly);
    EXPECT_EQ(modeKeyFor(SDLK_TAB), ModeKey::infoPanel);
    EXPECT_EQ(modeKeyFor(SDLK_F11), ModeKey::fullscreen);
    EXPECT_FALSE(modeKeyFor(SDLK_w).has_value());
    EXPECT_FALSE(modeKeyFor(SDLK_c).has_value());
    EXPECT_FALSE(modeKeyFor(SDLK_F12).has_value());
}

TEST_F(WindowInputTest, LettersArrowsSpaceCAndShiftHoldTheMovementKeys) {
    const std::map<SDL_Keycode, MovementKeys> expected{{SDLK_w, {.forward = true}},
                                                       {SDLK_UP, {.forward = true}},
                                                       {SDLK_s, {.back = true}},
                                                       {SDLK_DOWN, {.back = true}},
                                                       {SDLK_a, {.left = true}},
                                                       {SDLK_LEFT, {.left = true}},
                                                       {SDLK_d, {.right = true}},
                                                       {SDLK_RIGHT, {.right = true}},
                                                       {SDLK_SPACE, {.jump = true}},
                                                       {SDLK_c, {.crouch = true}},
                                                       {SDLK_LSHIFT, {.fast = true}},
                                                       {SDLK_RSHIFT, {.fast = true}},
                                                       {SDLK_z, {}},
                                                       {SDLK_0, {}},
                                                       {SDLK_LCTRL, {}},
                                                       {SDLK_KP_ENTER, {}},
                                                       {SDLK_TAB, {}},
                                                       {SDLK_l, {}}};
    for (const auto& [key, keys] : expected) {
        (void)input.handle(keyEvent(SDL_KEYDOWN, key));
        EXPECT_EQ(walkthrough.movementKeys(), keys) << SDL_GetKeyName(key);
        (void)input.handle(keyEvent(SDL_KEYUP, key));
        EXPECT_EQ(walkthrough.movementKeys(), MovementKeys{}) << SDL_GetKeyName(key);
    }
}

TEST_F(WindowInputTest, RecordsHeldKeysApartAndReleasesThem) {
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_w)), WindowAction::none);
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_UP)), WindowAction::none);
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_a)), WindowAction::none);
    EXPECT_EQ(walkthrough.movementKeys(), (MovementKeys{.forward = true, .left = true}));
    // W and Up are held apart: releasing one keeps the walk going.
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYUP, SDLK_w)), WindowAction::none);
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYUP, SDLK_a)), WindowAction::none);
    EXPECT_EQ(walkthrough.movementKeys(), MovementKeys{.forward = true});
    // An unmapped key touches nothing.
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_LCTRL)), WindowAction::none);
    EXPECT_EQ(walkthrough.movementKeys(), MovementKeys{.forward = true});
    (void)input.handle(keyEvent(SDL_KEYUP, SDLK_UP));
    EXPECT_EQ(walkthrough.movementKeys(), MovementKeys{});
}

TEST_F(WindowInputTest, FocusLossReleasesEveryKeyAndIgnoresPressesUntilRegained) {
    (void)input.handle(keyEvent(SDL_KEYDOWN, SDLK_w));
    (void)input.handle(keyEvent(SDL_KEYDOWN, SDLK_SPACE));
    EXPECT_EQ(input.handle(windowEvent(SDL_WINDOWEVENT_FOCUS_LOST)), WindowAction::focusLost);
    EXPECT_FALSE(input.active());
    EXPECT_EQ(walkthrough.movementKeys(), MovementKeys{});

    // Pressed while inactive: not recorded. Escape and F12 do nothing.
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_d)), WindowAction::none);
    EXPECT_EQ(walkthrough.movementKeys(), MovementKeys{});
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE)), WindowAction::none);
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_F12)), WindowAction::none);
    // The close command still ends the walk-through.
    EXPECT_EQ(input.handle(windowEvent(SDL_WINDOWEVENT_CLOSE)), WindowAction::end);

    EXPECT_EQ(input.handle(windowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)), WindowAction::focusGained);
    EXPECT_TRUE(input.active());
    (void)input.handle(keyEvent(SDL_KEYDOWN, SDLK_d));
    EXPECT_EQ(walkthrough.movementKeys(), MovementKeys{.right = true});
}

TEST_F(WindowInputTest, EscapeEndsAndF12AsksForAScreenshotWithoutBeingRecorded) {
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_F12)), WindowAction::screenshot);
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_F12, true)), WindowAction::none);
    EXPECT_EQ(input.handle(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE)), WindowAction::end);
    EXPECT_EQ(walkthrough.movementKeys(), MovementKeys{});
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_EQ(input.handle(quit), WindowAction::end);
}

TEST_F(WindowInputTest, ModeKeysSwitchOncePerPressAndOnlyWhileFocused) {
    WalkthroughView view;
    WindowInput withView{walkthrough, &view};
    EXPECT_EQ(withView.handle(keyEvent(SDL_KEYDOWN, SDLK_l)), WindowAction::none);
    EXPECT_EQ(view.shading, Shading::pixel);
    (void)withView.handle(keyEvent(SDL_KEYDOWN, SDLK_l, true));  // held: repeats change nothing
    EXPECT_EQ(view.shading, Shading::pixel);
    (void)withView.handle(keyEvent(SDL_KEYUP, SDLK_l));
    (void)withView.handle(keyEvent(SDL_KEYDOWN, SDLK_TAB));
    (void)withView.handle(keyEvent(SDL_KEYDOWN, SDLK_f));
    EXPECT_TRUE(view.infoPanel);
    EXPECT_TRUE(walkthrough.camera().flying());
    // Shift is held like any key, for flying faster.
    (void)withView.handle(keyEvent(SDL_KEYDOWN, SDLK_LSHIFT));
    EXPECT_EQ(walkthrough.movementKeys(), MovementKeys{.fast = true});
    EXPECT_EQ(withView.handle(keyEvent(SDL_KEYDOWN, SDLK_F11)), WindowAction::fullscreen);
    EXPECT_EQ(withView.handle(keyEvent(SDL_KEYDOWN, SDLK_F11, true)), WindowAction::none);

    (void)withView.handle(windowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
    (void)withView.handle(keyEvent(SDL_KEYDOWN, SDLK_g));
    (void)withView.handle(keyEvent(SDL_KEYDOWN, SDLK_v));
    EXPECT_EQ(withView.handle(keyEvent(SDL_KEYDOWN, SDLK_F11)), WindowAction::none);
    EXPECT_FALSE(view.wireframe);
    EXPECT_FALSE(view.frozen());
    // Without a view, mode keys switch nothing.
    (void)input.handle(keyEvent(SDL_KEYDOWN, SDLK_v));
    (void)input.handle(keyEvent(SDL_KEYDOWN, SDLK_f));
    EXPECT_FALSE(view.frozen());
    EXPECT_TRUE(walkthrough.camera().flying());  // still from the press above
}

TEST_F(WindowInputTest, MotionTurnsTheCameraOnlyWhileFocused) {
    ManualCounter otherCounter;
    Walkthrough reference(level.geometry, level.partition, otherCounter);
    reference.camera().turn(40, -10);

    (void)input.handle(motionEvent(0, 0));
    EXPECT_EQ(walkthrough.camera().forward().x, 1.0f);
    (void)input.handle(motionEvent(40, -10));
    const Vector3 turned = walkthrough.camera().forward();
    EXPECT_EQ(turned.x, reference.camera().forward().x);
    EXPECT_EQ(turned.y, reference.camera().forward().y);
    EXPECT_EQ(turned.z, reference.camera().forward().z);
    EXPECT_NE(turned.z, 0.0f);

    (void)input.handle(windowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
    (void)input.handle(motionEvent(200, 50));
    EXPECT_EQ(walkthrough.camera().forward().x, turned.x);
    EXPECT_EQ(walkthrough.camera().forward().z, turned.z);
}

TEST(FramePacing, TrustsASwapThatWaitsForTheDisplay) {
    FramePacer pacer(1'000'000, 60, true);
    std::int64_t now = 0;
    for (int frame = 0; frame < 100; ++frame) {
        EXPECT_EQ(pacer.afterFrame(now), 0);
        now += 16'667;  // the swap blocked for a refresh
    }
    EXPECT_FALSE(pacer.capping());
}

TEST(FramePacing, CapsASwapThatReturnsAtOnce) {
    FramePacer pacer(1'000'000, 60, true);
    std::int64_t now = 0;
    std::int64_t wait = 0;
    int frame = 0;
    for (; frame < 50 && !pacer.capping(); ++frame) {
        wait = pacer.afterFrame(now);
        now += wait + 1'000;  // one millisecond per frame: no vsync
    }
    EXPECT_TRUE(pacer.capping());
    EXPECT_EQ(frame, FramePacer::fastFramesBeforeCapping + 1);
    EXPECT_EQ(wait, 16'666);
    // From then on the loop sleeps out the rest of each 1/60 s.
    for (int n = 0; n < 10; ++n) {
        wait = pacer.afterFrame(now);
        EXPECT_GE(wait, 15'000);
        EXPECT_LE(wait, 16'666);
        now += wait + 1'000;
    }
}

TEST(FramePacing, WithoutSwapIntervalHoldsTheRefreshRateAndDoesNotBurstAfterAStall) {
    FramePacer pacer(1'000'000, 0, false);  // unknown rate: 60 Hz
    EXPECT_EQ(pacer.period(), 16'666);
    EXPECT_EQ(pacer.afterFrame(0), 16'666);
    EXPECT_EQ(pacer.afterFrame(16'666 + 2'000), 16'666 - 2'000);
    // A frame that took half a second: go on at once, then pace from there.
    EXPECT_EQ(pacer.afterFrame(600'000), 0);
    EXPECT_EQ(pacer.afterFrame(601'000), 16'666 - 1'000);
}

TEST(FramePacing, IgnoresRefreshRatesOutsideReason) {
    EXPECT_EQ(FramePacer(1'000'000, -5, false).period(), 16'666);
    EXPECT_EQ(FramePacer(1'000'000, 5000, false).period(), 16'666);
    EXPECT_EQ(FramePacer(1'000'000, 144, false).period(), 6'944);
    EXPECT_EQ(FramePacer(10, 60, false).period(), 1);  // never a zero period
    EXPECT_EQ(FramePacer(0, 60, false).period(), 1);
}

TEST(FramePacing, ConvertsCountsToMillisecondsWithoutOverflow) {
    EXPECT_EQ(countsToMilliseconds(16'666, 1'000'000), 16u);
    EXPECT_EQ(countsToMilliseconds(-5, 1'000'000), 0u);
    EXPECT_EQ(countsToMilliseconds(5, 0), 0u);
    EXPECT_EQ(countsToMilliseconds(3'000'000'000LL, 1'000'000'000LL), 3000u);
    EXPECT_EQ(countsToMilliseconds(INT64_MAX, 1), UINT32_MAX);
}

class ScreenshotFolders : public ::testing::Test {
protected:
    void SetUp() override {
        root = std::filesystem::temp_directory_path() /
               ("vantrell-screenshot-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "home");
        environment["HOME"] = (root / "home").string();
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    [[nodiscard]] std::filesystem::path folder() const {
        return picturesFolder([this](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        });
    }
    void writeUserDirs(const std::string& line) const {
        std::filesystem::create_directories(root / "home/.config");
        std::ofstream(root / "home/.config/user-dirs.dirs") << "# written by a test\n" << line << '\n';
    }

    std::filesystem::path root;
    std::map<std::string, std::string> environment;
};

TEST_F(ScreenshotFolders, NoPicturesFolderMeansTheWorkingDirectory) {
    EXPECT_TRUE(folder().empty());
    environment.clear();
    EXPECT_TRUE(folder().empty());
}

TEST_F(ScreenshotFolders, FallsBackToPicturesInHome) {
    std::filesystem::create_directories(root / "home/Pictures");
    EXPECT_EQ(folder(), root / "home/Pictures");
}

TEST_F(ScreenshotFolders, UserDirsFileComesBeforePicturesInHome) {
    std::filesystem::create_directories(root / "home/Pictures");
    std::filesystem::create_directories(root / "home/Bilder");
    writeUserDirs("XDG_PICTURES_DIR=\"$HOME/Bilder\"");
    EXPECT_EQ(folder(), root / "home/Bilder");
    // A folder that does not exist is passed over.
    writeUserDirs("XDG_PICTURES_DIR=\"$HOME/Missing\"");
    EXPECT_EQ(folder(), root / "home/Pictures");
    // "$HOME/" disables the folder; a relative or unterminated value is ignored.
    writeUserDirs("XDG_PICTURES_DIR=\"$HOME/\"");
    EXPECT_EQ(folder(), root / "home/Pictures");
    writeUserDirs("XDG_PICTURES_DIR=\"Bilder\"");
    EXPECT_EQ(folder(), root / "home/Pictures");
    writeUserDirs("XDG_PICTURES_DIR=\"" + (root / "home/Bilder").string());
    EXPECT_EQ(folder(), root / "home/Pictures");
    writeUserDirs("XDG_PICTURES_DIR=\"" + (root / "home/Bilder").string() + "\"");
    EXPECT_EQ(folder(), root / "home/Bilder");
}

TEST_F(ScreenshotFolders, EnvironmentVariableComesFirstAndConfigHomeIsHonoured) {
    std::filesystem::create_directories(root / "shots");
    std::filesystem::create_directories(root / "config");
    std::filesystem::create_directories(root / "home/Bilder");
    std::ofstream(root / "config/user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    environment["XDG_CONFIG_HOME"] = (root / "config").string();
    EXPECT_EQ(folder(), root / "home/Bilder");
    environment["XDG_PICTURES_DIR"] = (root / "shots").string();
    EXPECT_EQ(folder(), root / "shots");
}

TEST_F(ScreenshotFolders, NamesCarryDateAndTimeAndNeverOverwrite) {
    std::tm time{};
    time.tm_year = 2024 - 1900;
    time.tm_mon = 0;
    time.tm_mday = 5;
    time.tm_hour = 7;
    time.tm_min = 3;
    time.tm_sec = 9;
    const std::string name = screenshotFileName(time);
    EXPECT_EQ(name, "vantrell-20240105-070309.png");
    const auto readFile = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const auto writing = [](const char* text) {
        return [text](std::ostream& out) { return static_cast<bool>(out << text); };
    };
    std::string error;
    EXPECT_EQ(writeNewScreenshot(root, name, writing("one"), error), root / name) << error;
    EXPECT_EQ(writeNewScreenshot(root, name, writing("two"), error), root / "vantrell-20240105-070309-2.png");
    // A name taken by anything, a dangling link included, is passed over.
    std::filesystem::create_symlink(root / "gone.png", root / "vantrell-20240105-070309-3.png");
    EXPECT_EQ(writeNewScreenshot(root, name, writing("three"), error), root / "vantrell-20240105-070309-4.png");
    EXPECT_EQ(readFile(root / name), "one");
    EXPECT_EQ(readFile(root / "vantrell-20240105-070309-2.png"), "two");
    EXPECT_FALSE(std::filesystem::exists(root / "gone.png"));

    // A failed write takes no name and says why.
    EXPECT_TRUE(writeNewScreenshot(
                    root, name, [](std::ostream&) { return false; }, error)
                    .empty());
    EXPECT_FALSE(std::filesystem::exists(root / "vantrell-20240105-070309-5.png"));
    EXPECT_TRUE(writeNewScreenshot(root / "missing", name, writing("x"), error).empty());
    EXPECT_NE(error.find("cannot create a file in"), std::string::npos) << error;
}

TEST(MissingDisplay, SaysWhichDisplayCannotBeOpened) {
    EXPECT_EQ(missingDisplayReason(":77", nullptr, ""), "the display DISPLAY=:77 cannot be opened");
    EXPECT_EQ(missingDisplayReason("", "wayland-9", ""), "the display WAYLAND_DISPLAY=wayland-9 cannot be opened");
    EXPECT_EQ(missingDisplayReason(":1", "wayland-0", ""),
              "neither the display DISPLAY=:1 nor the display WAYLAND_DISPLAY=wayland-0 can be opened");
    EXPECT_EQ(missingDisplayReason(nullptr, "", "offscreen"),
              "no display: DISPLAY and WAYLAND_DISPLAY are unset (SDL found only the 'offscreen' video driver, "
              "which SDL_VIDEODRIVER could select)");
}

}  // namespace
}  // namespace vantrell
