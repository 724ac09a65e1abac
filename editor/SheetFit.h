#pragma once
/// The fit test of copies onto other small sheets. No Qt here.

class CGraphBase;
class CRefImage;

/// Whether a trial copy of the item, moved by (dx, dy), lies wholly within the split area that contains it
/// and within small sheet (col, row) of the reference image. The copy's bounding rectangle is taken in
/// whole-image coordinates: as it stands for a "CKernel", moved by the target sheet's origin for every
/// other item (those are sheet-relative). It fits when cutting it to the split area and intersecting it
/// with the sheet's rectangle both leave it unchanged; an item without vertices (an empty rectangle) fits
/// nowhere. The item itself is not changed.
bool FitsSheet(const CRefImage& ref, const CGraphBase& item, int col, int row, int dx, int dy);

/// Whether the key may reach the item on the current small sheet of the reference image: a trial copy that
/// receives the key stays wholly within the split area that contains it and within the current sheet (its
/// bounding rectangle taken as in `FitsSheet`, moved by the current sheet's origin unless it is a
/// "CKernel"). The item itself is not changed.
bool KeyKeepsInside(const CRefImage& ref, const CGraphBase& item, unsigned short keyCode);
