#include "wire/wire_objects.h"

void wire_cube::init(float, float, float, float) {}
void wire_cube::draw(float, float, float, std::uint8_t, int, int, float) {}
void wire_glyph::init(float, float, float, float) {}
void wire_glyph::draw(float, float, float, std::uint8_t, int, int, float) {}
