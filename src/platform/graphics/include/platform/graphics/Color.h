#pragma once

namespace platform::graphics {

// Device RGB with alpha, each component in [0, 1].
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static constexpr Color gray(double level, double alpha = 1) { return {level, level, level, alpha}; }
    constexpr Color withAlpha(double newAlpha) const { return {red, green, blue, newAlpha}; }

    friend bool operator==(const Color&, const Color&) = default;
};

// The named colours the documents use. The greys are the usual fractions of
// white; the accents are the light-appearance system hues.
namespace colors {
inline constexpr Color black{0, 0, 0};
inline constexpr Color white{1, 1, 1};
inline constexpr Color darkGray = Color::gray(1.0 / 3.0);
inline constexpr Color gray = Color::gray(0.5);
inline constexpr Color lightGray = Color::gray(2.0 / 3.0);
inline constexpr Color blue{0 / 255.0, 122 / 255.0, 255 / 255.0};
inline constexpr Color green{52 / 255.0, 199 / 255.0, 89 / 255.0};
inline constexpr Color red{255 / 255.0, 59 / 255.0, 48 / 255.0};
inline constexpr Color indigo{88 / 255.0, 86 / 255.0, 214 / 255.0};
}  // namespace colors

}  // namespace platform::graphics
