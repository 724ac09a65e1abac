#include "ModelFixture.h"

#include "datastruct/Area.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "formats/Utility.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"

#include <gtest/gtest.h>

#include <typeinfo>

namespace {

std::wstring Text(const wchar_t* base, int variant, int n) {
    return std::wstring(base) + L"-" + std::to_wstring(variant) + L"-" + std::to_wstring(n) + L"\r\n第二行";
}

std::vector<CPoint> Outline(int seed, int count) {
    std::vector<CPoint> points;
    for (int i = 0; i < count; ++i)
        points.emplace_back(seed * 7 + i * 3 - 5, seed * 11 + (i * i) % 97 - 2);
    return points;
}

void FillGraph(CGraphBase& g, int variant, int n) {
    g.m_bLocked = static_cast<uint8_t>((variant + n) % 2 == 0);
    g.m_nOffsetX = -3 - n - variant;
    g.m_nOffsetY = 4 + n + variant;
}

void FillMask(CMaskArea& m, int variant, int n) {
    FillGraph(m, variant, n);
    m.m_points = Outline(n + variant, 5 + n);
    auto* hole = new CPolygon;
    hole->m_points = Outline(n + 50 + variant, 3);
    FillGraph(*hole, variant, n + 1);
    m.m_children.Add(hole);
    auto* nested = new CPolygonEx; // a hole that has holes itself: the stored form must keep its class
    nested->m_points = Outline(n + 60, 4);
    auto* inner = new CPolygon;
    inner->m_points = Outline(n + 70, 3);
    nested->m_children.Add(inner);
    m.m_children.Add(nested);
    m.m_nSheetID = 1 + (n + variant) % 6;
    m.m_strParameters = Text(L"[Mask]参数", variant, n);
    m.m_strTag = Text(L"标签", variant, n);
}

CMaskCoeffType* Coeff(int id, int variant) {
    auto* c = new CMaskCoeffType;
    c->m_nID = id;
    c->m_strName = Text(L"系数", variant, id);
    c->m_dCoeff = 12.375 + id + variant * 0.5;
    c->m_strRemark = Text(L"备注", variant, id);
    return c;
}

} // namespace

void FillSampleModel(CModelInfo& model, int variant) {
    model.Reset();
    model.m_strName = Text(L"模板", variant, 0);
    model.m_strTitle = Text(L"标题", variant, 0);
    for (int i = 1; i <= 2; ++i) {
        auto* st = new CSideType;
        st->m_nID = i + 10 * variant;
        st->m_strName = Text(L"面", variant, i);
        model.m_sideTypes.Add(st);
        auto* pt = new CPhaseType;
        pt->m_nID = i + 20;
        pt->m_strName = Text(L"印次", variant, i);
        pt->m_bForceIndex = true;
        pt->m_crRefColor = 0x00112233u + static_cast<uint32_t>(i + variant);
        pt->m_crMaskColor = 0x00445566u + static_cast<uint32_t>(i + variant);
        pt->m_byMaskGray = static_cast<uint8_t>(200 + i + variant);
        model.m_phaseTypes.Add(pt);
        model.m_maskCoeffTypes.Add(Coeff(i + 30, variant));
        auto* ct = new CCustomParaType;
        ct->m_nID = i + 40;
        ct->m_strName = Text(L"自定义", variant, i);
        ct->m_byMaskGray = static_cast<uint8_t>(100 + i);
        ct->m_crRefColor = 0x00ABCDEFu - static_cast<uint32_t>(i + variant);
        ct->m_strScriptName = L"自定义.ini";
        ct->m_strScriptText = Text(L"[其他]", variant, i);
        model.m_customParaTypes.Add(ct);
    }

    for (int t = 1; t <= 2; ++t) {
        auto* type = new CInspType;
        type->m_nID = t + 100 * variant;
        type->m_strName = t == 1 ? L"缺陷检测" : L"尺寸定位";
        type->m_strParameters = Text(L"[检测]", variant, t);
        auto* side = new CSide;
        side->m_nID = 1 + 10 * variant;
        side->m_nRefImageID = 7;
        side->m_nSplitID = 3 + t;
        side->m_strParameters = Text(L"[面参数]", variant, t);
        for (int p = 1; p <= 2; ++p) {
            auto* phase = new CPhase;
            phase->m_nID = p + 20;
            phase->m_strParameters = Text(L"[分层]", variant, p);
            phase->m_coeffs.Add(Coeff(31, variant + p));
            for (int n = 1; n <= 3; ++n) {
                auto* note = new CNote;
                note->m_nID = n;
                FillGraph(*note, variant, n);
                note->m_strParameters = Text(L"[小张]", variant, n);
                auto* area = new CArea;
                area->m_nID = n + 1;
                FillGraph(*area, variant, n);
                area->m_points = Outline(n + p, 6);
                auto* hole = new CPolygon;
                hole->m_points = Outline(n + 9, 3);
                area->m_children.Add(hole);
                area->m_strParameters = Text(L"[区域]", variant, n);
                note->m_areas.Add(area);
                phase->m_notes.Add(note);
                auto* inspArea = new CPhaseMaskArea;
                inspArea->m_nID = n;
                FillMask(*inspArea, variant, n + p);
                phase->m_areas.Add(inspArea);
            }
            side->m_phases.Add(phase);
        }
        auto* shield = new CThreshMaskArea;
        FillMask(*shield, variant, 2);
        shield->m_coeffs.Add(Coeff(31, variant));
        shield->m_coeffs.Add(Coeff(32, variant + 1));
        side->m_threshMasks.Add(shield);
        auto* custom = new CCustomMaskArea;
        FillMask(*custom, variant, 3);
        custom->m_nCustomTypeID = 41 + variant;
        side->m_customMasks.Add(custom);
        auto* plainMask = new CMaskArea; // a list may hold the base class too
        FillMask(*plainMask, variant, 4);
        side->m_customMasks.Add(plainMask);
        type->m_sides.Add(side);
        model.m_inspTypes.Add(type);
    }

    auto* ref = new CRefImage;
    ref->m_nID = 7;
    ref->m_strRemark = Text(L"参考图", variant, 1);
    for (int c = 0; c < 2; ++c) {
        auto* cam = new CCameraRefImage;
        cam->m_strName = GetExeFolder() + L"image/cam" + std::to_wstring(c + variant) + L".bmp";
        cam->m_nX = c * 640 - variant;
        cam->m_nY = 3 + variant;
        cam->m_nCamCol = c;
        cam->m_nCamRow = variant;
        ref->m_cameras.Add(cam);
    }
    auto* outside = new CCameraRefImage; // a path outside the deployment folder stays absolute
    outside->m_strName = L"/data/cameras/其他.bmp";
    ref->m_cameras.Add(outside);
    for (int s = 0; s < 2; ++s) {
        auto* split = new CSplitAreaPara;
        split->m_nID = 4 + s;
        split->m_nCols = 3 + s;
        split->m_nRows = 2 + variant;
        split->m_nReserved1 = 9;
        split->m_nReserved2 = -9;
        split->m_rcCrop = CRect(10 + s, 20, 1200 - variant, 800);
        split->m_nExtendX = 5;
        split->m_nExtendY = 6 + s;
        split->m_strRemark = s ? L"尺寸定位分区" : Text(L"分区", variant, s);
        ref->m_splits.Add(split);
    }
    ref->m_nCamCols = 2;
    ref->m_nCamRows = 1 + variant;
    ref->m_nCols = 3;
    ref->m_nRows = 2;
    ref->m_nCurCol = 2;
    ref->m_nCurRow = 1;
    ref->m_nGridOffsetX = -1 - variant;
    ref->m_nGridOffsetY = 2;
    for (int k = 1; k <= 3; ++k) {
        auto* kernel = new CKernel;
        FillGraph(*kernel, variant, k);
        kernel->SetRect(10 * k, 20 * k, 10 * k + 40, 20 * k + 30);
        kernel->m_nPhaseID = 20 + k % 2 + 1;
        kernel->m_nSheetCol = k % 3;
        kernel->m_nSheetRow = k % 2;
        kernel->m_bSheetKernel = k == 2;
        kernel->m_strParameters = Text(L"[定位方式]", variant, k);
        ref->m_kernels.Add(kernel);
    }
    ref->m_nSplitID = 5;
    ref->m_rcCrop = CRect(1, 2, 3, 4 + variant);
    ref->m_nExtendX = 7;
    ref->m_nExtendY = 8;
    model.m_refImageSet.m_refImages.Add(ref);
}

void AddManyAreas(CModelInfo& model, int count, int vertices) {
    auto* type = model.m_inspTypes.GetAtAs<CInspType>(0);
    auto* side = type->m_sides.GetAtAs<CSide>(0);
    auto* phase = side->m_phases.GetAtAs<CPhase>(0);
    for (int i = 0; i < count; ++i) {
        auto* area = new CPhaseMaskArea;
        area->m_nSheetID = 1 + i % 6;
        area->m_points.reserve(static_cast<size_t>(vertices));
        for (int v = 0; v < vertices; ++v)
            area->m_points.emplace_back(1000 + (i % 100) * 37 + v % 17, 800 + (i / 100) * 29 + v / 17);
        area->m_strParameters = L"[定位核X]\r\n    Type=0\r\n    Value=" + std::to_wstring(i % 9) + L"\r\n[END]\r\n";
        phase->m_areas.Add(area);
    }
}

// ---- comparison ----

namespace {

class CComparer {
public:
    std::set<std::wstring> m_seen;

    void List(const CItemList& a, const CItemList& b, const std::string& where) {
        ASSERT_EQ(a.GetSize(), b.GetSize()) << where;
        for (int i = 0; i < a.GetSize(); ++i)
            Item(*a.GetAt(i), *b.GetAt(i), where + "[" + std::to_string(i) + "]");
    }

    void Item(const CIDItem& a, const CIDItem& b, const std::string& where) {
        ASSERT_EQ(std::string(typeid(a).name()), std::string(typeid(b).name())) << where;
        EXPECT_EQ(a.m_nID, b.m_nID) << where;
        EXPECT_EQ(a.GetTypeName(), b.GetTypeName()) << where;
        m_seen.insert(std::wstring(typeid(a) == typeid(CPolygonEx) ? L"CPolygonEx" : a.GetTypeName()));
        if (auto* g = dynamic_cast<const CGraphBase*>(&a))
            Graph(*g, dynamic_cast<const CGraphBase&>(b), where);
        Fields(a, b, where);
    }

private:
    void Graph(const CGraphBase& a, const CGraphBase& b, const std::string& where) {
        EXPECT_EQ(a.m_bLocked, b.m_bLocked) << where;
        EXPECT_EQ(a.m_nOffsetX, b.m_nOffsetX) << where;
        EXPECT_EQ(a.m_nOffsetY, b.m_nOffsetY) << where;
        if (auto* p = dynamic_cast<const CPolygon*>(&a)) {
            EXPECT_EQ(p->m_points, dynamic_cast<const CPolygon&>(b).m_points) << where;
        }
        if (auto* p = dynamic_cast<const CPolygonEx*>(&a))
            List(p->m_children, dynamic_cast<const CPolygonEx&>(b).m_children, where + ".holes");
        if (auto* m = dynamic_cast<const CMaskArea*>(&a)) {
            auto& n = dynamic_cast<const CMaskArea&>(b);
            EXPECT_EQ(m->m_nSheetID, n.m_nSheetID) << where;
            EXPECT_EQ(m->m_strParameters, n.m_strParameters) << where;
            EXPECT_EQ(m->m_strTag, n.m_strTag) << where;
        }
    }

    template <class T> static const T* As(const CIDItem& item) { return dynamic_cast<const T*>(&item); }

    void Fields(const CIDItem& a, const CIDItem& b, const std::string& w) {
        if (auto* x = As<CSideType>(a)) {
            EXPECT_EQ(x->m_strName, As<CSideType>(b)->m_strName) << w;
        } else if (auto* x = As<CPhaseType>(a)) {
            auto* y = As<CPhaseType>(b);
            EXPECT_EQ(x->m_strName, y->m_strName) << w;
            EXPECT_EQ(x->m_bForceIndex, y->m_bForceIndex) << w;
            EXPECT_EQ(x->m_crRefColor, y->m_crRefColor) << w;
            EXPECT_EQ(x->m_crMaskColor, y->m_crMaskColor) << w;
            EXPECT_EQ(x->m_byMaskGray, y->m_byMaskGray) << w;
        } else if (auto* x = As<CMaskCoeffType>(a)) {
            auto* y = As<CMaskCoeffType>(b);
            EXPECT_EQ(x->m_strName, y->m_strName) << w;
            EXPECT_EQ(x->m_dCoeff, y->m_dCoeff) << w;
            EXPECT_EQ(x->m_strRemark, y->m_strRemark) << w;
        } else if (auto* x = As<CCustomParaType>(a)) {
            auto* y = As<CCustomParaType>(b);
            EXPECT_EQ(x->m_strName, y->m_strName) << w;
            EXPECT_EQ(x->m_byMaskGray, y->m_byMaskGray) << w;
            EXPECT_EQ(x->m_crRefColor, y->m_crRefColor) << w;
            EXPECT_EQ(x->m_strScriptName, y->m_strScriptName) << w;
            EXPECT_EQ(x->m_strScriptText, y->m_strScriptText) << w;
        } else if (auto* x = As<CSplitAreaPara>(a)) {
            auto* y = As<CSplitAreaPara>(b);
            EXPECT_EQ(x->m_nCols, y->m_nCols) << w;
            EXPECT_EQ(x->m_nRows, y->m_nRows) << w;
            EXPECT_EQ(x->m_nReserved1, y->m_nReserved1) << w;
            EXPECT_EQ(x->m_nReserved2, y->m_nReserved2) << w;
            EXPECT_EQ(x->m_rcCrop, y->m_rcCrop) << w;
            EXPECT_EQ(x->m_nExtendX, y->m_nExtendX) << w;
            EXPECT_EQ(x->m_nExtendY, y->m_nExtendY) << w;
            EXPECT_EQ(x->m_strRemark, y->m_strRemark) << w;
        } else if (auto* x = As<CInspType>(a)) {
            auto* y = As<CInspType>(b);
            EXPECT_EQ(x->m_strName, y->m_strName) << w;
            EXPECT_EQ(x->m_strParameters, y->m_strParameters) << w;
            List(x->m_sides, y->m_sides, w + ".sides");
        } else if (auto* x = As<CSide>(a)) {
            auto* y = As<CSide>(b);
            EXPECT_EQ(x->m_nRefImageID, y->m_nRefImageID) << w;
            EXPECT_EQ(x->m_nSplitID, y->m_nSplitID) << w;
            EXPECT_EQ(x->m_strParameters, y->m_strParameters) << w;
            List(x->m_phases, y->m_phases, w + ".phases");
            List(x->m_threshMasks, y->m_threshMasks, w + ".threshMasks");
            List(x->m_customMasks, y->m_customMasks, w + ".customMasks");
        } else if (auto* x = As<CPhase>(a)) {
            auto* y = As<CPhase>(b);
            List(x->m_notes, y->m_notes, w + ".notes");
            List(x->m_areas, y->m_areas, w + ".areas");
            EXPECT_EQ(x->m_strParameters, y->m_strParameters) << w;
            List(x->m_coeffs, y->m_coeffs, w + ".coeffs");
        } else if (auto* x = As<CNote>(a)) {
            auto* y = As<CNote>(b);
            EXPECT_EQ(x->m_strParameters, y->m_strParameters) << w;
            List(x->m_areas, y->m_areas, w + ".areas");
        } else if (auto* x = As<CArea>(a)) {
            EXPECT_EQ(x->m_strParameters, As<CArea>(b)->m_strParameters) << w;
        } else if (auto* x = As<CKernel>(a)) {
            auto* y = As<CKernel>(b);
            EXPECT_EQ(x->m_nPhaseID, y->m_nPhaseID) << w;
            EXPECT_EQ(x->m_nSheetCol, y->m_nSheetCol) << w;
            EXPECT_EQ(x->m_nSheetRow, y->m_nSheetRow) << w;
            EXPECT_EQ(x->m_bSheetKernel, y->m_bSheetKernel) << w;
            EXPECT_EQ(x->m_strParameters, y->m_strParameters) << w;
        } else if (auto* x = As<CThreshMaskArea>(a)) {
            List(x->m_coeffs, As<CThreshMaskArea>(b)->m_coeffs, w + ".coeffs");
        } else if (auto* x = As<CCustomMaskArea>(a)) {
            EXPECT_EQ(x->m_nCustomTypeID, As<CCustomMaskArea>(b)->m_nCustomTypeID) << w;
        } else if (auto* x = As<CCameraRefImage>(a)) {
            auto* y = As<CCameraRefImage>(b);
            EXPECT_EQ(x->m_strName, y->m_strName) << w;
            EXPECT_EQ(x->m_nX, y->m_nX) << w;
            EXPECT_EQ(x->m_nY, y->m_nY) << w;
            EXPECT_EQ(x->m_nCamCol, y->m_nCamCol) << w;
            EXPECT_EQ(x->m_nCamRow, y->m_nCamRow) << w;
        } else if (auto* x = As<CRefImage>(a)) {
            auto* y = As<CRefImage>(b);
            EXPECT_EQ(x->m_strRemark, y->m_strRemark) << w;
            List(x->m_cameras, y->m_cameras, w + ".cameras");
            List(x->m_splits, y->m_splits, w + ".splits");
            EXPECT_EQ(x->m_nCamCols, y->m_nCamCols) << w;
            EXPECT_EQ(x->m_nCamRows, y->m_nCamRows) << w;
            EXPECT_EQ(x->m_nCols, y->m_nCols) << w;
            EXPECT_EQ(x->m_nRows, y->m_nRows) << w;
            EXPECT_EQ(x->m_nCurCol, y->m_nCurCol) << w;
            EXPECT_EQ(x->m_nCurRow, y->m_nCurRow) << w;
            EXPECT_EQ(x->m_nGridOffsetX, y->m_nGridOffsetX) << w;
            EXPECT_EQ(x->m_nGridOffsetY, y->m_nGridOffsetY) << w;
            List(x->m_kernels, y->m_kernels, w + ".kernels");
            EXPECT_EQ(x->m_nSplitID, y->m_nSplitID) << w;
            EXPECT_EQ(x->m_rcCrop, y->m_rcCrop) << w;
            EXPECT_EQ(x->m_nExtendX, y->m_nExtendX) << w;
            EXPECT_EQ(x->m_nExtendY, y->m_nExtendY) << w;
        }
    }
};

} // namespace

std::set<std::wstring> ExpectSameModel(const CModelInfo& expected, const CModelInfo& actual) {
    CComparer c;
    EXPECT_EQ(expected.m_nID, actual.m_nID);
    EXPECT_EQ(expected.m_strName, actual.m_strName);
    EXPECT_EQ(expected.m_strTitle, actual.m_strTitle);
    c.List(expected.m_inspTypes, actual.m_inspTypes, "inspTypes");
    c.List(expected.m_sideTypes, actual.m_sideTypes, "sideTypes");
    c.List(expected.m_phaseTypes, actual.m_phaseTypes, "phaseTypes");
    c.List(expected.m_maskCoeffTypes, actual.m_maskCoeffTypes, "maskCoeffTypes");
    c.List(expected.m_customParaTypes, actual.m_customParaTypes, "customParaTypes");
    c.List(expected.m_refImageSet.m_refImages, actual.m_refImageSet.m_refImages, "refImages");
    return c.m_seen;
}
