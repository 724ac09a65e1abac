#include "datastruct/ModelCodec.h"

#include "datastruct/Area.h"
#include "datastruct/ByteStream.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "formats/CodePage.h"
#include "formats/Utility.h"
#include "geometry/MaskArea.h"
#include "geometry/Polygon.h"
#include "geometry/PolygonEx.h"
#include "model/ParaTypes.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <typeinfo>

namespace {

constexpr char kMagic[4] = {'Z', 'R', 'K', 'M'};
constexpr uint64_t kFormat = 1;
constexpr int kMaxNesting = 64; // lists inside items inside lists: deeper data is not ours

// ---- the deployment-relative form of camera paths ----

std::wstring ToStoredPath(const std::wstring& path) {
    const std::wstring folder = GetExeFolder();
    if (!folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0)
        return path.substr(folder.size());
    return path;
}

std::wstring FromStoredPath(const std::wstring& path) {
    if (path.empty() || path[0] == L'/')
        return path;
    return GetExeFolder() + path;
}

// ---- per-class field writers and readers, base fields first ----

class CCodec {
public:
    explicit CCodec(CByteWriter* w) : m_w(w) {}
    explicit CCodec(CByteReader* r) : m_r(r) {}
    /// Writes an item's own fields with each list as an empty one, noting where their counts stand.
    CCodec(CByteWriter* w, std::vector<uint32_t>* listAt) : m_w(w), m_pListAt(listAt) {}
    /// Neither writes nor reads: collects the lists of the item walked, in the order they are written.
    explicit CCodec(std::vector<CItemList*>* lists) : m_pLists(lists) {}

    void WriteList(const CItemList& list);
    void ReadList(CItemList& list);
    void WriteItem(const CIDItem& item);
    CIDItem* ReadItem();

    void WriteModel(const CModelInfo& m);
    void ReadModel(CModelInfo& m);

    /// The fields of one class, written when the codec writes, read otherwise; base fields first.
    template <class T> void Fields(T& item);

private:
    // One field in either direction (nothing when the codec only collects lists).
    void F(int32_t& v) {
        if (m_w)
            m_w->PutVarI(v);
        else if (m_r)
            v = m_r->GetI32();
    }
    void F(uint8_t& v) {
        if (m_w)
            m_w->PutU8(v);
        else if (m_r)
            v = m_r->GetU8();
    }
    void F(uint32_t& v) {
        if (m_w) {
            m_w->PutVarU(v);
        } else if (m_r) {
            const uint64_t u = m_r->GetVarU();
            if (u > 0xFFFFFFFFu)
                throw CByteStreamError("colour value out of range in the stored data");
            v = static_cast<uint32_t>(u);
        }
    }
    void F(bool& v) {
        if (m_w)
            m_w->PutBool(v);
        else if (m_r)
            v = m_r->GetBool();
    }
    void F(double& v) {
        if (m_w)
            m_w->PutF64(v);
        else if (m_r)
            v = m_r->GetF64();
    }
    void F(std::wstring& v) {
        if (m_w)
            m_w->PutStr(v);
        else if (m_r)
            v = m_r->GetStr();
    }
    void F(CRect& v) {
        if (m_w)
            m_w->PutRect(v);
        else if (m_r)
            v = m_r->GetRect();
    }
    void F(std::vector<CPoint>& v) {
        if (m_w)
            m_w->PutPoints(v);
        else if (m_r)
            m_r->GetPoints(v);
    }
    void F(CItemList& v) {
        if (m_pLists) {
            m_pLists->push_back(&v);
        } else if (m_pListAt) {
            m_pListAt->push_back(static_cast<uint32_t>(m_w->Bytes().size()));
            m_w->PutVarU(0);
        } else if (m_w) {
            WriteList(v);
        } else {
            ReadList(v);
        }
    }

    void Base(CIDItem& item) { F(item.m_nID); }
    void Graph(CGraphBase& g) {
        Base(g);
        bool locked = g.m_bLocked != 0;
        F(locked);
        g.m_bLocked = locked;
        F(g.m_nOffsetX);
        F(g.m_nOffsetY);
    }
    void Poly(CPolygon& p) {
        Graph(p);
        F(p.m_points);
    }
    void PolyEx(CPolygonEx& p) {
        Poly(p);
        F(p.m_children);
    }
    void Mask(CMaskArea& m) {
        PolyEx(m);
        F(m.m_nSheetID);
        F(m.m_strParameters);
        F(m.m_strTag);
    }

    CByteWriter* m_w = nullptr;
    CByteReader* m_r = nullptr;
    std::vector<uint32_t>* m_pListAt = nullptr;  ///< shell writing: where each empty list's count stands
    std::vector<CItemList*>* m_pLists = nullptr;  ///< list collecting
    int m_nDepth = 0;
};

template <> void CCodec::Fields(CSideType& t) {
    Base(t);
    F(t.m_strName);
}
template <> void CCodec::Fields(CPhaseType& t) {
    Base(t);
    F(t.m_strName);
    F(t.m_bForceIndex);
    F(t.m_crRefColor);
    F(t.m_crMaskColor);
    F(t.m_byMaskGray);
}
template <> void CCodec::Fields(CMaskCoeffType& t) {
    Base(t);
    F(t.m_strName);
    F(t.m_dCoeff);
    F(t.m_strRemark);
}
template <> void CCodec::Fields(CCustomParaType& t) {
    Base(t);
    F(t.m_strName);
    F(t.m_byMaskGray);
    F(t.m_crRefColor);
    F(t.m_strScriptName);
    F(t.m_strScriptText);
}
template <> void CCodec::Fields(CSplitAreaPara& t) {
    Base(t);
    F(t.m_nCols);
    F(t.m_nRows);
    F(t.m_nReserved1);
    F(t.m_nReserved2);
    F(t.m_rcCrop);
    F(t.m_nExtendX);
    F(t.m_nExtendY);
    F(t.m_strRemark);
}
template <> void CCodec::Fields(CInspType& t) {
    Base(t);
    F(t.m_strName);
    F(t.m_strParameters);
    F(t.m_sides);
}
template <> void CCodec::Fields(CSide& t) {
    Base(t);
    F(t.m_nRefImageID);
    F(t.m_nSplitID);
    F(t.m_strParameters);
    F(t.m_phases);
    F(t.m_threshMasks);
    F(t.m_customMasks);
}
template <> void CCodec::Fields(CPhase& t) {
    Base(t);
    F(t.m_notes);
    F(t.m_areas);
    F(t.m_strParameters);
    F(t.m_coeffs);
}
template <> void CCodec::Fields(CCameraRefImage& t) {
    Base(t);
    std::wstring path = m_w ? ToStoredPath(t.m_strName) : std::wstring();
    F(path);
    if (m_r)
        t.m_strName = FromStoredPath(path);
    F(t.m_nX);
    F(t.m_nY);
    F(t.m_nCamCol);
    F(t.m_nCamRow);
}
template <> void CCodec::Fields(CRefImage& t) {
    Base(t);
    F(t.m_strRemark);
    F(t.m_cameras);
    F(t.m_splits);
    F(t.m_nCamCols);
    F(t.m_nCamRows);
    F(t.m_nCols);
    F(t.m_nRows);
    F(t.m_nCurCol);
    F(t.m_nCurRow);
    F(t.m_nGridOffsetX);
    F(t.m_nGridOffsetY);
    F(t.m_kernels);
    F(t.m_nSplitID);
    F(t.m_rcCrop);
    F(t.m_nExtendX);
    F(t.m_nExtendY);
}
template <> void CCodec::Fields(CPolygon& t) {
    Poly(t);
}
template <> void CCodec::Fields(CPolygonEx& t) {
    PolyEx(t);
}
template <> void CCodec::Fields(CMaskArea& t) {
    Mask(t);
}
template <> void CCodec::Fields(CPhaseMaskArea& t) {
    Mask(t);
}
template <> void CCodec::Fields(CThreshMaskArea& t) {
    Mask(t);
    F(t.m_coeffs);
}
template <> void CCodec::Fields(CCustomMaskArea& t) {
    Mask(t);
    F(t.m_nCustomTypeID);
}
template <> void CCodec::Fields(CArea& t) {
    PolyEx(t);
    F(t.m_strParameters);
}
template <> void CCodec::Fields(CKernel& t) {
    Poly(t);
    F(t.m_nPhaseID);
    F(t.m_nSheetCol);
    F(t.m_nSheetRow);
    F(t.m_bSheetKernel);
    F(t.m_strParameters);
}
template <> void CCodec::Fields(CNote& t) {
    Poly(t);
    F(t.m_strParameters);
    F(t.m_areas);
}

// The kinds an item list may hold. Codes are part of the stored format: never renumber them.
// A kind is matched by the item's exact class (type names alone are ambiguous: a polygon with holes
// names itself "CPolygon").
struct CKind {
    uint8_t code;
    const std::type_info& type;
    CIDItem* (*create)();
    bool (*fields)(CCodec&, CIDItem&); // false when the item is not of the kind's class
};

template <class T> CIDItem* Create() {
    return new T;
}
template <class T> bool FieldsOf(CCodec& codec, CIDItem& item) {
    T* typed = dynamic_cast<T*>(&item);
    if (!typed)
        return false;
    codec.Fields(*typed);
    return true;
}

#define ZRK_KIND(code, T)                                                                                    \
    { code, typeid(T), &Create<T>, &FieldsOf<T> }
const CKind kKinds[] = {
    ZRK_KIND(1, CInspType),
    ZRK_KIND(2, CSide),
    ZRK_KIND(3, CPhase),
    ZRK_KIND(4, CNote),
    ZRK_KIND(5, CArea),
    ZRK_KIND(6, CKernel),
    ZRK_KIND(7, CRefImage),
    ZRK_KIND(8, CCameraRefImage),
    ZRK_KIND(9, CCustomMaskArea),
    ZRK_KIND(10, CPhaseMaskArea),
    ZRK_KIND(11, CThreshMaskArea),
    ZRK_KIND(12, CMaskArea),
    ZRK_KIND(13, CPolygon),
    ZRK_KIND(14, CPolygonEx),
    ZRK_KIND(20, CSideType),
    ZRK_KIND(21, CPhaseType),
    ZRK_KIND(22, CMaskCoeffType),
    ZRK_KIND(23, CCustomParaType),
    ZRK_KIND(24, CSplitAreaPara),
};
#undef ZRK_KIND

const CKind* KindOf(const CIDItem& item) {
    for (const CKind& k : kKinds)
        if (typeid(item) == k.type)
            return &k;
    return nullptr;
}

const CKind* KindByCode(uint8_t code) {
    for (const CKind& k : kKinds)
        if (k.code == code)
            return &k;
    return nullptr;
}

void CCodec::WriteItem(const CIDItem& item) {
    const CKind* kind = KindOf(item);
    if (!kind && m_pLists)
        return;  // collecting lists: an item that cannot be stored has none that are stored
    if (!kind)
        throw std::invalid_argument("an item of class " + WideToUtf8(item.GetTypeName()) +
                                    " cannot be stored in a template");
    if (m_w)
        m_w->PutU8(kind->code);
    // The writer only reads the item; the shared field walker takes it by reference.
    if (!kind->fields(*this, const_cast<CIDItem&>(item)))
        throw std::invalid_argument("an item claims the class " + WideToUtf8(item.GetTypeName()) +
                                    " but is of another");
}

CIDItem* CCodec::ReadItem() {
    const CKind* kind = KindByCode(m_r->GetU8());
    if (!kind)
        throw CByteStreamError("unknown item kind in the stored data");
    if (++m_nDepth > kMaxNesting)
        throw CByteStreamError("stored data nested too deeply");
    std::unique_ptr<CIDItem> item(kind->create());
    kind->fields(*this, *item);
    --m_nDepth;
    return item.release();
}

void CCodec::WriteList(const CItemList& list) {
    m_w->PutVarU(static_cast<uint64_t>(list.GetSize()));
    for (int i = 0; i < list.GetSize(); ++i) {
        const CIDItem* item = list.GetAt(i);
        if (!item)
            throw std::invalid_argument("an item list holds a null item");
        WriteItem(*item);
    }
}

void CCodec::ReadList(CItemList& list) {
    list.RemoveAll();
    const size_t n = m_r->GetCount(2); // a kind code and an identifier at least
    list.m_arItems.reserve(n);
    // Stored lists came from `Add`, so their identifiers are free and a valid store reads back unchanged.
    // Damaged data may repeat identifiers: they get the repair `Add` would make, in constant time per item
    // (so a damaged store cannot hang the reader); data that leaves no identifier to repair with is refused.
    CItemListAppender appender(list);
    for (size_t i = 0; i < n; ++i) {
        std::unique_ptr<CIDItem> item(ReadItem());
        if (!appender.Add(item.get()))
            throw CByteStreamError("the stored data repeats an identifier and leaves no free one");
        item.release();
    }
}

void CCodec::WriteModel(const CModelInfo& m) {
    // Also the list collector's and the shell writer's walk of the model.
    auto& model = const_cast<CModelInfo&>(m);
    F(model.m_inspTypes);
    F(model.m_sideTypes);
    F(model.m_phaseTypes);
    F(model.m_maskCoeffTypes);
    F(model.m_customParaTypes);
    F(model.m_refImageSet.m_refImages);
}

void CCodec::ReadModel(CModelInfo& m) {
    F(m.m_inspTypes);
    F(m.m_sideTypes);
    F(m.m_phaseTypes);
    F(m.m_maskCoeffTypes);
    F(m.m_customParaTypes);
    F(m.m_refImageSet.m_refImages);
}

} // namespace

std::string EncodeModel(const CModelInfo& model) {
    CByteWriter w;
    w.PutRaw(std::string_view(kMagic, 4));
    w.PutVarU(kFormat);
    CCodec(&w).WriteModel(model);
    return std::move(w.Bytes());
}

void DecodeModel(std::string_view data, CModelInfo& model) {
    CByteReader r(data);
    if (r.Remaining() < 4 || r.GetRaw(4) != std::string_view(kMagic, 4))
        throw CByteStreamError("the stored data is not a template");
    if (r.GetVarU() != kFormat)
        throw CByteStreamError("the stored template has a format this program cannot read");
    CCodec(&r).ReadModel(model);
    if (!r.AtEnd())
        throw CByteStreamError("unexpected bytes after the stored template");
}

std::string EncodeItem(const CIDItem& item) {
    CByteWriter w;
    CCodec(&w).WriteItem(item);
    return std::move(w.Bytes());
}

CIDItem* DecodeItem(std::string_view data) {
    CByteReader r(data);
    std::unique_ptr<CIDItem> item(CCodec(&r).ReadItem());
    if (!r.AtEnd())
        throw CByteStreamError("unexpected bytes after the stored item");
    return item.release();
}

void EncodeItemShell(const CIDItem& item, CItemShell& shell) {
    CByteWriter w;
    w.Bytes().swap(shell.bytes);
    w.Bytes().clear();
    shell.listAt.clear();
    CCodec(&w, &shell.listAt).WriteItem(item);
    shell.bytes.swap(w.Bytes());
}

void EncodeModelShell(const CModelInfo& model, CItemShell& shell) {
    CByteWriter w;
    w.PutRaw(std::string_view(kMagic, 4));
    w.PutVarU(kFormat);
    shell.listAt.clear();
    CCodec(&w, &shell.listAt).WriteModel(model);
    shell.bytes = std::move(w.Bytes());
}

void GetItemLists(CIDItem& item, std::vector<CItemList*>& lists) {
    lists.clear();
    CCodec(&lists).WriteItem(item);
}

void GetModelLists(CModelInfo& model, std::vector<CItemList*>& lists) {
    lists.clear();
    CCodec(&lists).WriteModel(model);
}
