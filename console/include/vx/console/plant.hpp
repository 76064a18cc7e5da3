// The plant of a controller as its symbol file declares it and its block
// holds it: actors and product slots in the order of the runtime's table,
// their status, their placement (the unit cube mapped by a 16-float matrix,
// row-major, translation in entries 3, 7 and 11) and their own variables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vx/console/session.hpp"

namespace vx::console {

// Status values of an object's status cell.
inline constexpr std::int32_t kAlive = 1;
inline constexpr std::int32_t kKilled = 2;

struct PlantObject {
    std::size_t index = 0;  // the record's place in the runtime's table
    const grafcet::ObjectRecord* record = nullptr;
    std::optional<std::int32_t> status;   // none when the cell lies outside the block
    std::array<double, 16> matrix{};      // NaN where a cell lies outside the block
    std::vector<const Symbol*> variables;  // <name>.<var>, other than status, x, y and z

    bool alive() const { return status == kAlive; }
    // The translation: the image of the cube's corner (0,0,0).
    std::array<double, 3> position() const;
    // The lengths of the images of the cube's three edges: the norms of the
    // columns 0, 1 and 2 of the upper-left 3x3 part. Entry 15 carries a
    // cosine, not a scale, and is left out.
    std::array<double, 3> size() const;
    // The smallest and the largest X of the cube's image.
    std::pair<double, double> x_extent() const { return extent(0); }
    // The same along axis 0 (X), 1 (Y) or 2 (Z).
    std::pair<double, double> extent(std::size_t axis) const;
    // The turn about Z in degrees, in [0, 360), as the plant library's
    // getAngleZ reads it: the direction of the object's X edge in the XY
    // plane, reversed when entry 15 (the cosine of the turn about Y) is
    // negative. NaN when the edge has no direction or is not a number.
    double angle_z() const;
};

// Every object of the symbol file, read from the block now; empty when the
// program declares none. A Failure when there is no symbol file.
std::vector<PlantObject> plant_objects(const Session& session);

// "alive", "killed", "unknown (<value>)", or "outside the block".
std::string status_text(const std::optional<std::int32_t>& status);

// vxctl objects: one row per object (table index, name, model, actor or
// product, status, position, angle about Z, size, own variables), or a
// sentence when the program declares no objects.
void list_objects(const Session& session, std::ostream& out);

// The monitor's plant view, for a terminal `width` columns wide: the live
// objects along X between the smallest and the largest X of all objects
// (long actors as '=', thin ones as '|', products as letters), the scale and
// a legend, each line opened by a 9-column label. A plant that no line along
// X crosses whole (no band of Y shared by all its objects, a cell spread over
// the floor) is not drawn: one line says so and points to vxctl objects.
// Empty when the program declares no objects.
std::string draw_plant(const Session& session, int width);

}  // namespace vx::console
