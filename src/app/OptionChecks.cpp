#include "app/OptionChecks.h"

#include <optional>

#include "app/CommandSupport.h"

namespace vantrell {

CLI::Validator finiteVector(bool refuseZero) {
    return CLI::Validator(
        [refuseZero](std::string& text) -> std::string {
            std::string error;
            const std::optional<Vector3> v = refuseZero ? parseDirection(text, error) : parseVector3(text, error);
            return v ? std::string() : error;
        },
        "X,Y,Z");
}

CLI::Validator positiveNumber(const std::string& typeName) {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            std::string error;
            const std::optional<float> value = parseFiniteFloat(text, error);
            if (!value) return error;
            if (!(*value > 0.0f)) return "must be above 0, not " + text;
            return {};
        },
        typeName);
}

Vector3 vectorOf(const std::string& text) {
    std::string error;
    return parseVector3(text, error).value_or(Vector3{});
}

float floatOf(const std::string& text, float fallback) {
    if (text.empty()) return fallback;
    std::string error;
    return parseFiniteFloat(text, error).value_or(fallback);
}

}  // namespace vantrell
