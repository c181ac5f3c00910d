#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "MovementLevels.h"
#include "camera/Camera.h"
#include "camera/MovementClock.h"
#include "level/LevelValidation.h"
#include "math/Matrix.h"
#include "visibility/ContactQuery.h"

namespace vantrell {
namespace {

using testlevels::TestLevel;

constexpr float degree = std::numbers::pi_v<float> / 180.0f;

void expectNear(const Vector3& actual, const Vector3& expected, float tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectSame(const Vector3& actual, const Vector3& expected) {
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.z, expected.z);
}

// The basis is orthonormal and right is horizontal.
void expectValidBasis(const Camera& camera) {
    ASSERT_TRUE(isFinite(camera.forward()) && isFinite(camera.right()) && isFinite(camera.up()));
    EXPECT_EQ(camera.right().y, 0.0f);
    EXPECT_NEAR(length(camera.forward()), 1.0f, 1e-5f);
    EXPECT_NEAR(length(camera.right()), 1.0f, 1e-5f);
    EXPECT_NEAR(length(camera.up()), 1.0f, 1e-5f);
    EXPECT_NEAR(dot(camera.forward(), camera.right()), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(camera.forward(), camera.up()), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(camera.right(), camera.up()), 0.0f, 1e-5f);
}

// ---- Vector and matrix operations ------------------------------------------------------

TEST(VectorMath, QuarterTurnAboutYGivesMinusZ) {
    const float quarter = std::numbers::pi_v<float> / 2.0f;
    expectNear(rotateAboutAxis({1, 0, 0}, {0, 1, 0}, quarter), {0, 0, -1}, 1e-6f);
    expectNear(rotateAboutY({1, 0, 0}, quarter), {0, 0, -1}, 1e-6f);
    // The same through a matrix-free path and the axis form must agree for any vector.
    const Vector3 v{0.3f, -2.0f, 5.0f};
    expectNear(rotateAboutAxis(v, {0, 1, 0}, 0.7f), rotateAboutY(v, 0.7f), 1e-5f);
}

TEST(VectorMath, AxisOfAnyLengthRotatesLikeItsUnitVector) {
    const Vector3 v{0.5f, 1.5f, -2.0f};
    expectNear(rotateAboutAxis(v, {0, 5, 0}, 1.1f), rotateAboutAxis(v, {0, 1, 0}, 1.1f), 1e-5f);
    const Vector3 axis{1, 2, 3};
    const Vector3 turned = rotateAboutAxis(v, axis * 0.01f, 2.0f);
    expectNear(turned, rotateAboutAxis(v, normalized(axis), 2.0f), 1e-5f);
    // A rotation keeps the length and the part along the axis.
    EXPECT_NEAR(length(turned), length(v), 1e-5f);
    EXPECT_NEAR(dot(turned, normalized(axis)), dot(v, normalized(axis)), 1e-5f);
}

TEST(VectorMath, ProjectionOfTheViewer) {
    const Matrix4 m = perspectiveFovLH(std::numbers::pi_v<float> / 4.0f, 4.0f / 3.0f, 0.01f, 100.0f);
    EXPECT_FLOAT_EQ(m.at(1, 1), 2.4142135f);
    EXPECT_FLOAT_EQ(m.at(0, 0), 1.8106601f);
    EXPECT_FLOAT_EQ(m.at(2, 2), 100.0f / 99.99f);
    EXPECT_EQ(m.at(2, 3), 1.0f);
    EXPECT_FLOAT_EQ(m.at(3, 2), -0.01f * 100.0f / 99.99f);
    EXPECT_EQ(m.at(3, 3), 0.0f);
    // Depth 0 on the near plane, 1 on the far plane.
    EXPECT_NEAR(transformCoord({0, 0, 0.01f}, m).z, 0.0f, 1e-6f);
    EXPECT_NEAR(transformCoord({0, 0, 100.0f}, m).z, 1.0f, 1e-6f);
}

TEST(VectorMath, LookAtFromTheStartingEye) {
    const Matrix4 view = lookAtLH({0, 1, 0}, {1, 1, 0}, {0, 1, 0});
    // Columns 0..2 of the first three rows are the view's x, y and z axes.
    expectNear({view.at(0, 0), view.at(1, 0), view.at(2, 0)}, {0, 0, -1}, 1e-7f);
    expectNear({view.at(0, 1), view.at(1, 1), view.at(2, 1)}, {0, 1, 0}, 1e-7f);
    expectNear({view.at(0, 2), view.at(1, 2), view.at(2, 2)}, {1, 0, 0}, 1e-7f);
    expectNear(transformCoord({0, 1, 0}, view), {0, 0, 0}, 1e-7f);
    expectNear(transformCoord({3, 1, 0}, view), {0, 0, 3}, 1e-6f);
    expectNear(transformCoord({0, 1, -2}, view), {2, 0, 0}, 1e-6f);
}

TEST(VectorMath, NormalizeIfNonZeroLeavesZeroAlone) {
    Vector3 zero{};
    EXPECT_TRUE(isZero(normalizeIfNonZero(zero)));
    Vector3 v{0, -3, 4};
    expectNear(normalizeIfNonZero(v), {0, -0.6f, 0.8f}, 1e-7f);
    EXPECT_FALSE(isZero(Vector3{0, -0.0f, 1e-38f}));
    EXPECT_TRUE(isZero(Vector3{0, -0.0f, 0}));
}

// ---- Movement clock -------------------------------------------------------------------

TEST(MovementClock, StepLengthTruncatesTheProduct) {
    EXPECT_EQ(stepLengthFor(10'000'000), 99999);
    EXPECT_EQ(stepLengthFor(3'579'545), 35795);
    EXPECT_EQ(stepLengthFor(1'000'000), 9999);
    EXPECT_EQ(stepLengthFor(1000), 9);
}

TEST(MovementClock, SlowOrMissingCounterStillGivesPositiveSteps) {
    for (const std::int64_t frequency : {std::int64_t{100}, std::int64_t{99}, std::int64_t{1}, std::int64_t{0},
                                         std::int64_t{-5}, std::numeric_limits<std::int64_t>::min()})
        EXPECT_GE(stepLengthFor(frequency), 1) << frequency;
    EXPECT_GT(stepLengthFor(std::numeric_limits<std::int64_t>::max()), 0);
}

// A camera on a level, asking the level's contact query, with a counter driven by hand.
class CameraFixture : public ::testing::Test {
protected:
    explicit CameraFixture(std::int64_t frequency = 1'000'000) : counter(frequency, 5000) {}

    Camera& start(const Vector3& position = {0, 0, 0}, const Vector3& forward = {1, 0, 0}) {
        EXPECT_TRUE(validateLevel(level.geometry, level.partition).empty());
        camera_.emplace(position, forward, counter.counter(), counter.frequency());
        return *camera_;
    }
    Camera& camera() { return *camera_; }
    void hold(const MovementKeys& held) { keys = held; }
    [[nodiscard]] Plane contact(const Vector3& from, const Vector3& to) {
        return query.find(level.geometry, level.partition, from, to);
    }
    // Steps one camera (this one or another on the same level) with the held keys.
    void step(Camera& which) {
        which.step(keys, [this](const Vector3& from, const Vector3& to) { return contact(from, to); });
    }
    void update() {
        camera_->update(counter.counter(), keys,
                        [this](const Vector3& from, const Vector3& to) { return contact(from, to); });
    }
    [[nodiscard]] Vector3 eye() const { return camera_->eyePoint(keys.crouch); }
    // Runs n steps and returns the body's last displacement.
    Vector3 run(int n) {
        for (int i = 0; i < n; ++i) step(camera());
        return camera().currentPosition() - camera().previousPosition();
    }

    TestLevel level = testlevels::openLevel();
    ManualCounter counter;
    MovementKeys keys;
    ContactQuery query;
    std::optional<Camera> camera_;
};

using MovementClockTest = CameraFixture;

TEST_F(MovementClockTest, FreshCameraIsAtRestAndDueAtOnce) {
    start({1, 2, 3});
    expectSame(camera().position(), {1, 2, 3});
    expectSame(camera().previousPosition(), {1, 2, 3});
    expectSame(camera().currentPosition(), {1, 2, 3});
    EXPECT_EQ(camera().nextStepTime(), 5000);
    EXPECT_EQ(camera().stepLength(), 9999);
    counter.advance(1);
    update();  // the first update after any time at all runs a step
    EXPECT_EQ(camera().nextStepTime(), 5000 + 9999);
    EXPECT_LT(camera().currentPosition().y, 2.0f);
}

TEST_F(MovementClockTest, NoStepWhenNowEqualsTheDueTime) {
    start({0, 0, 0});
    update();  // now == nextStepTime: strict comparison, nothing runs
    EXPECT_EQ(camera().nextStepTime(), 5000);
    expectSame(camera().currentPosition(), {0, 0, 0});

    counter.advance(1);
    update();
    const Vector3 afterFirst = camera().currentPosition();
    counter.set(5000 + 9999);  // exactly the next due time: f = 0, no second step
    update();
    EXPECT_EQ(camera().nextStepTime(), 5000 + 9999);
    expectSame(camera().currentPosition(), afterFirst);
    expectSame(camera().position(), afterFirst);
}

TEST_F(MovementClockTest, SecondUpdateInOnePeriodOnlyInterpolates) {
    start({0, 10, 0});
    counter.advance(1);
    update();
    counter.advance(1);
    update();
    const Vector3 previous = camera().previousPosition();
    const Vector3 current = camera().currentPosition();
    counter.set(5000 + 9999 - 3333);  // a third of a step before the next one is due
    update();
    expectSame(camera().previousPosition(), previous);
    expectSame(camera().currentPosition(), current);
    const float f = 3333.0f / 9999.0f;
    EXPECT_NEAR(camera().position().y, f * previous.y + (1.0f - f) * current.y, 1e-6f);
    EXPECT_GT(camera().position().y, current.y);  // lags the simulation
    EXPECT_LT(camera().position().y, previous.y);
}

TEST_F(MovementClockTest, CatchUpRunsEveryMissedStepOnTheGrid) {
    start({0, 50, 0});
    counter.advance(100 * 9999);  // a pause of a second: due steps at 5000 + k * 9999, k = 0..99
    update();
    EXPECT_EQ(camera().nextStepTime(), 5000 + 100 * 9999);

    Camera reference({0, 50, 0}, {1, 0, 0}, 0, 1'000'000);
    for (int i = 0; i < 100; ++i) step(reference);
    expectSame(camera().currentPosition(), reference.currentPosition());
    expectSame(camera().previousPosition(), reference.previousPosition());
}

class SlowCounterTest : public CameraFixture {
protected:
    SlowCounterTest() : CameraFixture(50) {}
};

TEST_F(SlowCounterTest, UpdateEndsWithACounterOfFiftyCountsPerSecond) {
    start({0, 0, 0});
    EXPECT_EQ(camera().stepLength(), 1);
    counter.advance(7);
    update();
    EXPECT_EQ(camera().nextStepTime(), 5007);
    Camera reference({0, 0, 0}, {1, 0, 0}, 0, 50);
    for (int i = 0; i < 7; ++i) step(reference);
    expectSame(camera().currentPosition(), reference.currentPosition());
}

// ---- Camera ---------------------------------------------------------------------------

using CameraTest = CameraFixture;

TEST_F(CameraTest, FreshCameraLooksAlongX) {
    start();
    expectSame(camera().forward(), {1, 0, 0});
    expectSame(camera().right(), {0, 0, -1});
    expectSame(camera().up(), {0, 1, 0});
    expectSame(eye(), {0, 1, 0});
}

TEST_F(CameraTest, StartForwardIsNormalised) {
    start({0, 0, 0}, {2, 0, 0});
    expectSame(camera().forward(), {1, 0, 0});
    expectSame(camera().right(), {0, 0, -1});
    expectSame(camera().up(), {0, 1, 0});
    start({0, 0, 0}, {0, 3, -4});
    expectNear(camera().forward(), {0, 0.6f, -0.8f}, 1e-7f);
    expectValidBasis(camera());
}

TEST_F(CameraTest, TurnsByTenPixels) {
    start();
    camera().turn(0, 10);
    expectNear(camera().forward(), {std::cos(5 * degree), -std::sin(5 * degree), 0}, 1e-6f);
    expectNear(camera().right(), {0, 0, -1}, 1e-7f);  // pitch keeps right
    start();
    camera().turn(10, 0);
    expectNear(camera().forward(), {std::cos(5 * degree), 0, -std::sin(5 * degree)}, 1e-6f);
    expectValidBasis(camera());
}

TEST_F(CameraTest, PitchTiltsByHalfDegreesPerPixel) {
    for (const int dy : {-179, -60, 1, 37, 179}) {
        start({0, 0, 0}, {0, 0, 1});
        const Vector3 right = camera().right();
        camera().turn(0, dy);
        const float tilt = std::atan2(-camera().forward().y, camera().forward().z);
        EXPECT_NEAR(tilt, static_cast<float>(dy) * 0.5f * degree, 1e-5f) << dy;
        expectNear(camera().right(), right, 1e-6f);
    }
}

TEST_F(CameraTest, YawKeepsHeightAndFullTurnReturns) {
    start({0, 0, 0}, {0.3f, -0.5f, 0.8f});
    camera().turn(0, 0);
    const Vector3 before = camera().forward();
    camera().turn(720, 0);
    expectNear(camera().forward(), before, 1e-5f);
    for (const int dx : {1, -13, 250, 100000}) {
        const float y = camera().forward().y;
        camera().turn(dx, 0);
        EXPECT_EQ(camera().forward().y, y) << dx;
        expectValidBasis(camera());
    }
}

TEST_F(CameraTest, CrouchLowersOnlyTheEye) {
    start({4, 2, -1});
    hold({.crouch = true});
    expectSame(eye(), {4, 2.5f, -1});
    hold({});
    expectSame(eye(), {4, 3, -1});
    hold({.crouch = true});
    expectSame(camera().position(), {4, 2, -1});
}

TEST_F(CameraTest, VerticalForwardKeepsAUsableBasis) {
    start({0, 0, 0}, {0, 1, 0});
    expectSame(camera().right(), {0, 0, -1});
    expectValidBasis(camera());
    camera().turn(40, 0);  // yaw cannot move a vertical forward: right is kept
    expectValidBasis(camera());
    camera().turn(0, 30);  // pitching away from vertical works as usual
    EXPECT_NEAR(camera().forward().y, std::cos(15 * degree), 1e-5f);
    expectValidBasis(camera());

    start({0, 0, 0}, {0, -7, 0});
    expectValidBasis(camera());
    // A horizontal part too small to square behaves as vertical.
    start({0, 0, 0}, {1e-30f, 1, 0});
    expectValidBasis(camera());
}

TEST_F(CameraTest, PitchingOverTheTopKeepsTheBasisValid) {
    start();
    for (int i = 0; i < 8; ++i) {
        camera().turn(3, -90);  // 45 degrees up per turn, past straight up and round
        expectValidBasis(camera());
    }
}

TEST_F(CameraTest, ZeroStartForwardLooksAlongX) {
    start({0, 0, 0}, {0, 0, 0});
    expectSame(camera().forward(), {1, 0, 0});
    expectValidBasis(camera());
}

// ---- Movement step --------------------------------------------------------------------

// A floor at y = 0 that answers any movement ending within 0.05 of it, and counts the asks.
struct CountingFloor {
    int asked = 0;
    Plane operator()(const Vector3&, const Vector3& to) {
        ++asked;
        return to.y < 0.05f ? Plane{0.0f, 1.0f, 0.0f, 0.0f} : Plane{};
    }
};

TEST(CameraWithoutALevel, StepsAskOnlyTheContactTheyAreGiven) {
    Camera camera({0, 0, 0}, {1, 0, 0}, 0, 1'000'000);
    CountingFloor floor;
    camera.step({}, floor);
    // At rest on the floor: the ground probe and one clip test, and the body stays put.
    EXPECT_EQ(floor.asked, 2);
    expectSame(camera.currentPosition(), {0, 0, 0});
    camera.step({.forward = true}, floor);
    expectNear(camera.currentPosition(), {0.02f, 0, 0}, 1e-7f);
    EXPECT_EQ(floor.asked, 4);
    // Keys come only from the call: the next step without them stops the walk.
    camera.step({}, floor);
    expectNear(camera.currentPosition(), {0.02f, 0, 0}, 1e-7f);

    // Flying asks nothing; it starts from the drawn position (never updated here: the start).
    camera.setFlying(true);
    const int before = floor.asked;
    camera.step({.forward = true, .fast = true}, floor);
    EXPECT_EQ(floor.asked, before);
    expectNear(camera.currentPosition(), {0.2f, 0, 0}, 1e-6f);
}

TEST(CameraWithoutALevel, NoContactMeansFreeFallAndCrouchOnlyMovesTheEye) {
    Camera camera({0, 10, 0}, {0, 0, 1}, 0, 1'000'000);
    camera.step({.forward = true, .crouch = true}, ContactFunction::none());
    // Airborne: gravity alone, whatever the keys say.
    expectNear(camera.currentPosition(), {0, 10.0f - 0.0008f, 0}, 1e-6f);
    camera.update(0, {}, ContactFunction::none());
    expectSame(camera.eyePoint(true), camera.position() + Camera::crouchEyeOffset);
    expectSame(camera.eyePoint(false), camera.position() + Camera::standingEyeOffset);
}

TEST(CameraWithoutALevel, UpdateRunsTheStepsDueByTheGivenCounterValue) {
    Camera camera({0, 10, 0}, {1, 0, 0}, 1000, 1'000'000);  // 9999 counts per step
    Camera reference({0, 10, 0}, {1, 0, 0}, 0, 1'000'000);
    CountingFloor floor;
    camera.update(1000 + 3 * 9999 + 1, {}, floor);  // due at 1000, +9999, +2*9999, +3*9999
    for (int i = 0; i < 4; ++i) reference.step({}, ContactFunction::none());
    EXPECT_EQ(camera.nextStepTime(), 1000 + 4 * 9999);
    expectSame(camera.currentPosition(), reference.currentPosition());
    EXPECT_EQ(floor.asked, 4);  // one ground probe per airborne step
    // A counter value before the next due time only interpolates.
    camera.update(1000 + 4 * 9999 - 1, {}, floor);
    EXPECT_EQ(floor.asked, 4);
}

using MovementStepTest = CameraFixture;

TEST_F(MovementStepTest, FreeFallGrowsByGravityEveryStep) {
    start({0, 0, 0});
    float lastDrop = 0.0f;
    for (int i = 1; i <= 200; ++i) {
        const float drop = -run(1).y;
        EXPECT_NEAR(drop - lastDrop, 0.0008f, 2e-5f) << "step " << i;
        lastDrop = drop;
    }
    EXPECT_NEAR(camera().currentPosition().y, -0.0008f * 200 * 201 / 2, 1e-3f);
    EXPECT_EQ(camera().currentPosition().x, 0.0f);
}

TEST_F(MovementStepTest, BodyAtRestOnAFloorStaysExactly) {
    testlevels::addFloor(level, 0.0f, 10.0f);
    for (const float height : {0.0f, 0.01f, 0.049f, 0.05f, 0.07f, 0.099f}) {
        start({1, height, -2});
        run(50);
        expectSame(camera().currentPosition(), {1, height, -2});
        expectSame(camera().previousPosition(), {1, height, -2});
    }
}

TEST_F(MovementStepTest, FallingBodyStopsWhereTheContactStepStarted) {
    testlevels::addFloor(level, 0.0f, 10.0f);
    start({0, 1.3f, 0});
    int contactStep = 0;
    Vector3 startOfContact;
    for (int i = 1; i <= 200 && contactStep == 0; ++i) {
        const Vector3 before = camera().currentPosition();
        run(1);
        if (camera().currentPosition() == before) {
            contactStep = i;
            startOfContact = before;
        }
    }
    ASSERT_GT(contactStep, 10);
    EXPECT_GT(startOfContact.y, 0.0f);  // contact never moves the body down onto the floor
    EXPECT_LT(startOfContact.y, 0.1f);
    run(30);
    expectSame(camera().currentPosition(), startOfContact);
}

TEST_F(MovementStepTest, OppositeKeysCancelAndDiagonalsKeepTheSpeed) {
    testlevels::addFloor(level, 0.0f, 10.0f);
    const Vector3 at{0, 0.02f, 0};
    start(at, {1, -0.4f, 1});
    hold({.forward = true, .back = true});
    run(5);
    expectSame(camera().currentPosition(), at);
    hold({.forward = true, .back = true, .left = true, .right = true});
    run(5);
    expectSame(camera().currentPosition(), at);

    hold({.forward = true});
    const Vector3 straight = run(1);
    EXPECT_NEAR(length(straight), 0.02f, 1e-6f);
    EXPECT_EQ(straight.y, 0.0f);
    expectNear(straight, Vector3{0.02f, 0, 0.02f} * (1.0f / std::sqrt(2.0f)), 1e-6f);

    hold({.forward = true, .right = true});
    const Vector3 diagonal = run(1);
    EXPECT_NEAR(length(diagonal), 0.02f, 1e-6f);
    EXPECT_NEAR(dot(diagonal, straight), 0.02f * 0.02f * std::cos(45 * degree), 1e-7f);

    hold({.left = true});
    const Vector3 left = run(1);
    expectNear(left, camera().right() * -0.02f, 1e-6f);
}

// A large slope through the origin rising towards +x at the given angle.
void addSlope(TestLevel& level, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float half = 20.0f;
    testlevels::addQuad(level, {-half * c, -half * s, -half}, {-half * c, -half * s, half}, {half * c, half * s, half},
                        {half * c, half * s, -half});
}

TEST_F(MovementStepTest, GentleSlopeHoldsTheBody) {
    const float angle = 20 * degree;
    addSlope(level, angle);
    const Vector3 normal{-std::sin(angle), std::cos(angle), 0};
    const Vector3 at = normal * 0.02f;
    start(at);
    run(40);
    expectSame(camera().currentPosition(), at);
}

TEST_F(MovementStepTest, SteepSlopeSlidesDownhill) {
    const float angle = 45 * degree;
    addSlope(level, angle);
    const Vector3 normal{-std::sin(angle), std::cos(angle), 0};
    start(normal * 0.02f, {0, 0, 1});
    const Vector3 downhill{-std::cos(angle), -std::sin(angle), 0};
    const float slide = 0.05f * (std::sin(angle) - 0.5f * std::cos(angle));
    EXPECT_NEAR(slide, 0.0177f, 1e-4f);
    for (int i = 0; i < 30; ++i) expectNear(run(1), downhill * slide, 2e-6f);
    // Walking across the slope adds 0.02 per step along it.
    hold({.forward = true});
    for (int i = 0; i < 10; ++i) expectNear(run(1), downhill * slide + Vector3{0, 0, 0.02f}, 2e-6f);
    EXPECT_NEAR(dot(camera().currentPosition(), normal), 0.02f, 1e-5f);  // still on the surface
}

TEST_F(MovementStepTest, SlideGrowsWithTheSlopeAboveTheFrictionAngle) {
    for (const float degrees : {25.0f, 30.0f, 60.0f}) {
        const float angle = degrees * degree;
        level = testlevels::openLevel();
        addSlope(level, angle);
        const Vector3 normal{-std::sin(angle), std::cos(angle), 0};
        start(normal * 0.02f);
        // tan 25 deg < 0.5: stands; above it the slide is 0.05 (sin - 0.5 cos) per step.
        const float slide = std::max(0.0f, 0.05f * (std::sin(angle) - 0.5f * std::cos(angle)));
        const Vector3 downhill{-std::cos(angle), -std::sin(angle), 0};
        for (int i = 0; i < 20; ++i) expectNear(run(1), downhill * slide, 2e-6f);
    }
}

TEST_F(MovementStepTest, WalkingUphillFollowsTheSurface) {
    const float angle = 20 * degree;
    addSlope(level, angle);
    const Vector3 normal{-std::sin(angle), std::cos(angle), 0};
    start(normal * 0.02f);
    hold({.forward = true});
    const Vector3 uphill{std::cos(angle), std::sin(angle), 0};
    for (int i = 0; i < 20; ++i) expectNear(run(1), uphill * 0.02f, 1e-6f);
}

TEST_F(MovementStepTest, WallStopsTheMotionIntoItAndKeepsTheRest) {
    // The wall is listed before the floor: the query answers the first triangle that
    // qualifies, and the floor, which also qualifies, would otherwise always be found.
    testlevels::addQuad(level, {1, -1, -10}, {1, -1, 10}, {1, 3, 10}, {1, 3, -10});  // faces -x
    testlevels::addFloor(level, 0.0f, 10.0f);
    start({0.5f, 0.02f, 0}, {1, 0, 1});
    hold({.forward = true});
    run(60);  // reach the wall
    const float x = camera().currentPosition().x;
    EXPECT_LT(x, 1.0f);
    EXPECT_GT(x, 0.9f);
    for (int i = 0; i < 100; ++i) {
        const Vector3 moved = run(1);
        EXPECT_EQ(moved.x, 0.0f) << "step " << i;  // distance to the wall kept exactly
        EXPECT_GT(moved.z, 0.01f);
        EXPECT_EQ(camera().currentPosition().y, 0.02f);
    }
}

TEST_F(MovementStepTest, WalkingDownhillIntoAWallNeitherSinksNorClimbs) {
    // A 10 degree slope falling towards +x, and a wall across it at x = 1. The clip takes the
    // walk's part into the wall away; what is left must not head down into the slope, or the
    // body sinks a little each step until it is behind the floor and falls out of the level.
    const float angle = -10 * degree;
    testlevels::addQuad(level, {1, -3, -10}, {1, -3, 10}, {1, 3, 10}, {1, 3, -10});  // faces -x
    addSlope(level, angle);
    const Vector3 normal{-std::sin(angle), std::cos(angle), 0};
    start(normal * 0.02f + Vector3{0.5f * std::cos(angle), 0.5f * std::sin(angle), 0});
    hold({.forward = true});
    run(40);  // reaches the wall
    EXPECT_GT(camera().currentPosition().x, 0.9f);
    const Vector3 against = camera().currentPosition();
    for (int i = 0; i < 500; ++i) run(1);
    EXPECT_NEAR(dot(camera().currentPosition(), normal), 0.02f, 1e-4f) << "height above the slope";
    expectNear(camera().currentPosition(), against, 1e-4f);
    // Walking along the wall still works: the crease between wall and slope is level.
    hold({.forward = true, .left = true});
    const Vector3 along = run(1);
    EXPECT_GT(std::fabs(along.z), 0.01f);
    EXPECT_NEAR(along.y, 0.0f, 1e-5f);
}

TEST_F(MovementStepTest, JumpLiftsWhileTheProbeReachesTheGround) {
    testlevels::addFloor(level, 0.0f, 10.0f);
    start({0, 0.02f, 0});
    hold({.jump = true});
    // The probe reaches 0.05 below the previous position: contact for four steps.
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(run(1).y, 0.03f, 1e-6f) << "step " << i;
    EXPECT_NEAR(run(1).y, 0.03f - 0.0008f, 1e-6f);  // airborne: carried on, gravity only
    hold({.forward = true, .jump = true});          // an airborne body cannot steer or jump
    const Vector3 airborne = run(1);
    EXPECT_NEAR(airborne.y, 0.03f - 0.0016f, 1e-6f);
    EXPECT_EQ(airborne.x, 0.0f);
    hold({});
    run(200);  // falls back and lands
    const Vector3 landed = camera().currentPosition();
    EXPECT_GT(landed.y, 0.0f);
    EXPECT_LT(landed.y, 0.1f);
    expectSame(run(1), {0, 0, 0});
}

TEST_F(MovementStepTest, WalkingOffAnEdgeCarriesTheSpeedOn) {
    testlevels::addFloor(level, 0.0f, 1.0f);
    start({0.9f, 0.02f, 0});
    hold({.forward = true});
    Vector3 moved;
    int steps = 0;
    while (camera().currentPosition().y == 0.02f && steps < 100) moved = run(1), ++steps;
    ASSERT_LT(steps, 100);
    EXPECT_NEAR(moved.x, 0.02f, 1e-6f);  // the first airborne step keeps the walking speed
    hold({.back = true});
    for (int i = 0; i < 20; ++i) EXPECT_NEAR(run(1).x, 0.02f, 1e-6f);
}

// ---- Fly mode ---------------------------------------------------------------------------

using FlyTest = CameraFixture;

TEST_F(FlyTest, HangsWithoutKeysAndPassesThroughTheFloor) {
    testlevels::addFloor(level, 0.0f, 10.0f);
    start({0, 3, 0});
    run(5);  // falling a little
    camera().setFlying(true);
    const Vector3 at = camera().currentPosition();
    expectSame(camera().previousPosition(), at);
    run(100);
    expectSame(camera().currentPosition(), at);
    // Straight down through the floor: no contact stops it.
    hold({.crouch = true});
    run(100);
    EXPECT_NEAR(camera().currentPosition().y, at.y - 5.0f, 1e-4f);
    // C does not crouch while flying.
    expectSame(eye(), camera().position() + Camera::standingEyeOffset);
}

TEST_F(FlyTest, KeysMoveAlongTheViewDirectionRightAndWorldUp) {
    start({0, 5, 0});
    camera().turn(0, -60);  // look 30 degrees up
    camera().setFlying(true);
    const Vector3 forward = camera().forward();
    ASSERT_GT(forward.y, 0.4f);
    hold({.forward = true});
    expectNear(run(1), Camera::flyDistance * forward, 1e-6f);
    hold({.back = true});
    expectNear(run(1), -Camera::flyDistance * forward, 1e-6f);
    hold({.right = true});
    expectNear(run(1), Camera::flyDistance * camera().right(), 1e-6f);
    hold({.jump = true});
    expectNear(run(1), {0, Camera::flyDistance, 0}, 1e-6f);
    // Opposite keys cancel; a diagonal keeps the speed; Shift is faster.
    hold({.left = true, .right = true, .jump = true, .crouch = true});
    expectSame(run(1), {0, 0, 0});
    hold({.forward = true, .jump = true});
    EXPECT_NEAR(length(run(1)), Camera::flyDistance, 1e-6f);
    hold({.jump = true, .fast = true});
    expectNear(run(1), {0, Camera::flyDistance * Camera::flyFastFactor, 0}, 1e-6f);
}

TEST_F(FlyTest, LandingLetsTheBodyFallFromWhereItIsAtRest) {
    testlevels::addFloor(level, 0.0f, 10.0f);
    start({0, 0, 0});
    run(20);
    camera().setFlying(true);
    hold({.forward = true, .jump = true});
    run(40);
    update();  // the drawn position catches up with the steps
    const Vector3 high = camera().position();
    ASSERT_GT(high.y, 1.0f);
    hold({});
    camera().setFlying(false);
    EXPECT_FALSE(camera().flying());
    expectSame(camera().currentPosition(), high);
    // The first fall step starts from rest: only gravity moves it.
    EXPECT_NEAR(run(1).y, -0.0008f, 2e-5f);
    EXPECT_NEAR(run(1).y, -0.0016f, 2e-5f);
    run(1000);
    EXPECT_GE(camera().currentPosition().y, 0.0f);
    EXPECT_LT(camera().currentPosition().y, 0.1f);
    EXPECT_NEAR(camera().currentPosition().x, high.x, 1e-6f);
}

}  // namespace
}  // namespace vantrell
