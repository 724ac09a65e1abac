#pragma once
/// The base of every shape drawn on a reference image that the operator can select, drag, reshape and
/// nudge: the polygons and masks of this library and the drawable items of the data-structure library.
///
/// LAYOUT CONTRACT: the order of the fields and of the virtual operations below is shared with the
/// data-structure library. Append nothing in between; change nothing without changing both.
///
/// Coordinates are integer image pixels (x to the right, y downwards); colours are 0x00BBGGRR.
/// Pointer and key operations take plain values: the mouse flags below and the key codes below. The
/// editor module translates its toolkit's events into them.

#include "model/IDItem.h"
#include "support/Color.h"
#include "support/Geometry.h"

#include <cstdint>
#include <vector>

class CImgBuffer;

/// Mouse flags as the pointer operations take them.
inline constexpr unsigned MK_LBUTTON = 0x0001;
inline constexpr unsigned MK_SHIFT = 0x0004;
inline constexpr unsigned MK_CONTROL = 0x0008;

/// Key codes as `OnKeyDown` takes them.
inline constexpr uint16_t VK_SHIFT = 16;
inline constexpr uint16_t VK_CONTROL = 17;
inline constexpr uint16_t VK_LEFT = 37;
inline constexpr uint16_t VK_UP = 38;
inline constexpr uint16_t VK_RIGHT = 39;
inline constexpr uint16_t VK_DOWN = 40;
inline constexpr uint16_t VK_DELETE = 46;

/// A high-resolution stopwatch on std::chrono::steady_clock: a counter frequency (counts per second) and
/// the count at the last start.
struct CPressTimer {
    int64_t m_nFrequency;
    int64_t m_nStart;

    /// Started at construction.
    CPressTimer();
    /// The current counter value.
    static int64_t Now();
    void Restart() { m_nStart = Now(); }
    /// Seconds since the start, single precision; restarts the stopwatch afterwards when asked.
    float GetElapsedSeconds(bool restart = false);
};

class CGraphBase : public CIDItem {
public:
    CGraphBase();
    CGraphBase(const CGraphBase&) = delete;
    CGraphBase& operator=(const CGraphBase&) = delete;
    /// Deletes the snapshot.
    ~CGraphBase() override;

    // ---- slots of CIDItem ----
    /// Empty for shapes.
    std::wstring GetName() const override;
    /// Copies the identifier, the lock, highlight and selection flags, the grabbed handle, the drawing
    /// offset, the drag mode and the anchor. Never the snapshot or the stopwatch. A source that is no
    /// shape copies the identifier only. Derived shapes extend it with their own data.
    bool CopyFrom(const CIDItem* other) override;
    CGraphBase* NewInstance() const override = 0;
    std::wstring GetTypeName() const override = 0;

    // ---- slots of CGraphBase, in contract order ----
    /// When highlighted or selected: the outline in green (0x00FF00), one pixel, unfilled. When selected,
    /// also a 7 x 7 square outline around each vertex (drawing offset and (dx, dy) added), in green, or
    /// in light yellow 0x64FFFF for the grabbed vertex.
    virtual void DrawSelection(CImgBuffer* buffer, int dx, int dy);
    virtual bool IsSelected() const;
    virtual void SetSelected(bool selected);
    virtual int GetSelectedHandle() const;
    virtual void SetSelectedHandle(int handle);
    virtual bool IsHighlighted() const;
    virtual CPoint GetAnchorPoint() const;
    /// The snapshot taken at the last selecting press; null if none was ever taken. Owned by this shape.
    virtual CGraphBase* GetBackup() const;
    /// Sets the snapshot to a new instance of the prototype's class and returns it. Call it only while
    /// `GetBackup` is null; an existing snapshot is deleted first.
    virtual CGraphBase* CreateBackupLike(const CGraphBase* prototype);
    /// Removes all vertices.
    virtual void ClearPoints() = 0;
    /// Draws the shape solid white.
    virtual void DrawSilhouette(CImgBuffer* buffer) = 0;
    /// True when the image point lies inside the shape (drawing offset not applied).
    virtual bool HitTest(int x, int y) = 0;
    /// Fills *out with the bounding rectangle of the vertices (right and bottom exclusive) and returns it.
    virtual CRect GetBoundRect(CRect* out) const = 0;
    /// Replaces the content of out with the vertices.
    virtual void GetPoints(std::vector<CPoint>& out) const = 0;
    virtual void SetPoints(const std::vector<CPoint>& in) = 0;
    /// Throws std::out_of_range for an index outside the vertex range.
    virtual CPoint GetPoint(int index) const = 0;
    /// Throws std::out_of_range for an index outside the vertex range.
    virtual void SetPoint(int index, int x, int y) = 0;
    /// False for an index outside the vertex range, else deletes the vertex and answers true.
    virtual bool RemovePoint(int index) = 0;
    /// index < 0 moves the whole shape, otherwise that vertex only; an index at or beyond the vertex
    /// count throws std::out_of_range.
    virtual void Move(int dx, int dy, int index) = 0;
    virtual int GetPointCount() const = 0;
    virtual bool InsertPointAtNearestEdge(int x, int y) = 0;
    /// Renders the shape into the buffer shifted by (dx, dy) plus the drawing offset. `transparency`
    /// (0-255) is the weight of the old pixel where the interior is blended with the fill colour.
    virtual void Draw(CImgBuffer* buffer, int dx, int dy, COLORREF lineColor, COLORREF fillColor, bool filled,
                      int penWidth, int transparency) = 0;
    /// Restarts the press stopwatch, grabs the first vertex whose handle square [x-3, x+3) x [y-3, y+3)
    /// holds the point, selects the shape when the point is inside or a handle was grabbed (deselects it
    /// otherwise unless Shift is held) and, when selected, anchors the drag at the point and snapshots the
    /// shape. A locked shape is selected but never enters a drag.
    virtual void OnLButtonDown(unsigned flags, int x, int y);
    /// Ends a drag unless locked.
    virtual void OnLButtonUp(unsigned flags, int x, int y);
    /// Ignored when locked or while no more than delayMs milliseconds have passed since the last press.
    /// Idle: the highlight becomes the hit test (always on with Shift). Moving: the snapshot is restored,
    /// then the shape moves by the total displacement since the press. Vertex drag: the same for the
    /// grabbed vertex.
    virtual void OnMouseMove(unsigned flags, int x, int y, int delayMs);
    /// Ends a drag unless locked.
    virtual void OnLButtonDblClk(unsigned flags, int x, int y);
    /// Does nothing in the shapes of this library.
    virtual void OnPointerHook(unsigned flags, int x, int y);
    /// When selected and not locked: the arrows move the grabbed vertex (or the whole shape without one)
    /// by one pixel; Delete removes the grabbed vertex while more than three vertices remain.
    virtual void OnKeyDown(uint16_t keyCode);

    // ---- fields, in contract order ----
    uint8_t m_bLocked = 0;
    uint8_t m_bHighlight = 0;
    uint8_t m_bSelected = 0;
    int32_t m_nSelHandle = -1;
    int32_t m_nOffsetX = 0;
    int32_t m_nOffsetY = 0;
    int32_t m_nDragMode = 0; ///< 0 idle, 1 moving the whole shape, 2 moving the grabbed vertex
    CPoint m_ptAnchor;
    CGraphBase* m_pBackup = nullptr; ///< owned
    CPressTimer m_pressTimer;
};
