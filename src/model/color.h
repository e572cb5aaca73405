#pragma once

// Colours are doubles with a nominal range of 0 to 1 per component; products of colours are
// taken component by component.
struct Color {
    double r, g, b;
};

constexpr Color operator+(Color a, Color b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
constexpr Color operator*(Color a, Color b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
constexpr Color operator*(double s, Color c) {
    return {s * c.r, s * c.g, s * c.b};
}
constexpr Color operator/(Color c, double s) {
    return {c.r / s, c.g / s, c.b / s};
}
