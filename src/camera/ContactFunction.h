// What the camera asks the level while it moves: the plane of the first triangle that a
// movement comes into contact with.
#pragma once

#include <type_traits>

#include "level/LevelTypes.h"

namespace vantrell {

// A borrowed callable Plane(const Vector3& from, const Vector3& to) that returns
// (0, 0, 0, 0) for no contact. It holds only a pointer to the callable, so it allocates
// nothing; the callable must outlive every call (a lambda passed in the same call does).
class ContactFunction {
public:
    template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, ContactFunction> &&
             std::is_invocable_r_v<Plane, F&, const Vector3&, const Vector3&>)
        ContactFunction(F&& function)  // NOLINT(google-explicit-constructor): passed like a lambda
        : object(const_cast<void*>(static_cast<const void*>(&function))),
          call([](void* f, const Vector3& from, const Vector3& to) -> Plane {
              return (*static_cast<std::remove_reference_t<F>*>(f))(from, to);
          }) {}

    [[nodiscard]] Plane operator()(const Vector3& from, const Vector3& to) const { return call(object, from, to); }

    // A level with nothing in it: every movement is free.
    [[nodiscard]] static ContactFunction none() {
        static constexpr auto nothing = [](const Vector3&, const Vector3&) { return Plane{}; };
        return ContactFunction(nothing);
    }

private:
    void* object;
    Plane (*call)(void*, const Vector3&, const Vector3&);
};

}  // namespace vantrell
