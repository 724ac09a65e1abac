#pragma once
/// Kernel associations, without any widget.
///
/// A side of a "尺寸定位" type keeps its kernel pairs in the slots of its parameter text: every node of the
/// parameter analyser's node list is a slot; a slot is free while its value is empty; a used slot holds the
/// two kernel identifiers as "first-second" and, as its second text, the tolerance and the pair's label as
/// "0.60;label". An inspection area linked to a kernel keeps the kernel's identifier as the values of its
/// nodes "定位核X" and "定位核Y".
///
/// Slot values are read strictly: two decimal numbers (an optional sign each) joined by one "-", nothing
/// else. A damaged value ("12-", "-3", "a-b", "12-3-4") is no pair: it never matches a real one and is never
/// cleared as naming a kernel.

#include "support/Geometry.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CParaAnalytic;
class CTreeTextNode;
class CInspType;
class CKernel;

/// Reads a slot value "first-second"; false for anything else.
bool ParseKernelPair(const std::wstring& value, int& first, int& second);
/// Whether the type carries that name, as stored or as the interface shows it translated.
bool IsTypeNamed(const CInspType* type, const wchar_t* name);

/// The slots of one side, read from and written back to its parameter text.
class CKernelSlots {
public:
    /// Reads the side's parameter text into the analyser (which keeps it until the next load).
    CKernelSlots(CParaAnalytic& analyser, const std::wstring& sideText);

    /// The pairs of the used slots that read as pairs, in slot order.
    std::vector<std::pair<int, int>> GetPairs();
    /// Whether a used slot holds the pair, in either order.
    bool HasPair(int a, int b);
    /// The position of the first free slot; -1 when every slot is used.
    int FindFreeSlot();
    /// Writes the pair into the slot: value "a-b", second text "%.2f;%s". False for a position outside the
    /// node list.
    bool WriteSlot(int position, int a, int b, double tolerance, const std::wstring& label);
    /// Empties value and second text of every slot whose pair names the kernel; how many were cleared.
    int ClearKernel(int kernelID);
    /// The side's parameter text as the slots now stand.
    std::wstring GetText();

private:
    CParaAnalytic& m_analyser;
};

/// Whether two kernels may be linked by a "尺寸定位" side: different kernels, no used slot holding the pair
/// in either order, and, when both locate by a line ("定位方式" is "直线定位"), equal "投影方向" values.
/// `freeSlot` receives the first free slot (-1 when none; the pair is then not valid either).
bool CanLinkKernels(CKernelSlots& slots, const CKernel& first, const CKernel& second, int& freeSlot);

/// The kernel identifiers an inspection area names in "定位核X" and "定位核Y" (-1 where the node is missing
/// or its value is not a number). Parameter texts read once are remembered by their content.
class CAreaLinkReader {
public:
    std::pair<int, int> Read(const std::wstring& areaText);
    /// Writes `kernelID` into both nodes of the text; false (text unchanged) when it has neither node.
    static bool Write(std::wstring& areaText, int kernelID);
    /// Sets to "0" (no kernel) each of the two nodes that names `kernelID`; false (text unchanged) when
    /// neither does.
    static bool Forget(std::wstring& areaText, int kernelID);
    /// Renames the kernels the two nodes name through `renamed` (old identifier to new; identifiers not in
    /// it stay); false (text unchanged) when no node changes.
    static bool Rename(std::wstring& areaText, const std::unordered_map<int, int>& renamed);

private:
    std::unordered_map<std::wstring, std::pair<int, int>> m_cache;
};

/// One association line to draw: end points in small-sheet coordinates and its colour (0x00BBGGRR).
struct CLinkLine {
    CPoint from, to;
    uint32_t colour = 0;
    bool operator==(const CLinkLine& o) const { return from == o.from && to == o.to && colour == o.colour; }
};
