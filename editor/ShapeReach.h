#pragma once
/// Where a shape's drawing can reach in the display buffer. No Qt here.

#include "support/Geometry.h"

class CGraphBase;

/// The image rectangle a shape's drawing with its selection marks can touch: its own place and its place
/// moved by its drawing offset, with room for pens, handle squares and the padlock. Computed in 64 bits and
/// clamped to the int range.
CRect ShapeReach(const CGraphBase& shape);
