#pragma once

#include <vector>

// A Union Jack worked by hand: 5 x 3 steps of 100 mm, diagonals 6 steps of 100 * sqrt(34) / 6 mm; the
// readings in arcsec of NW-SE .. N-S in measuring order.
inline const std::vector<std::vector<double>> HandReadings{
    {2, 3, 1, 0, 2, 4}, {-1, 0, 2, 1, -2, 0}, {1, 2, 0, -1, 3}, {0, 2, 1},
    {3, 1, 1, 2, 0},    {-2, 0, 1},           {1, 0, 2, 1, 1},  {2, 1, 3}};
