#include "editor/AreaFile.h"

#include "formats/CodePage.h"
#include "formats/TreeTextAnalyze.h"
#include "geometry/MaskArea.h"
#include "geometry/Polygon.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A node of the area tree at the level given, type 0, with a value.
std::unique_ptr<CTreeTextNode> MakeNode(const std::wstring& name, const std::wstring& value) {
    auto node = std::make_unique<CTreeTextNode>();
    node->m_para.m_strName = name;
    node->m_para.m_nType = 0;
    node->m_para.m_strValue = value;
    return node;
}

// The number of points `ParsePoints` reads from the list: its non-empty pieces between commas, halved.
size_t VertexCount(const std::wstring& list) {
    size_t pieces = 0;
    bool inPiece = false;
    for (wchar_t c : list) {
        if (c == L',') {
            inPiece = false;
        } else if (!inPiece) {
            inPiece = true;
            ++pieces;
        }
    }
    return pieces / 2;
}

std::wstring OutlineText(const CPolygon& polygon) {
    std::vector<CPoint> points;
    polygon.GetPoints(points);
    return FormatPoints(points);
}

// The children of a node in nested form, joined with CR LF.
std::wstring NestedText(const CTreeTextNode& parent) {
    std::vector<std::wstring> lines;
    for (int i = 0; i < parent.GetChildCount(); ++i)
        parent.GetChild(i)->WriteNested(lines);
    return JoinLines(lines);
}

// The same, indented as top-level nodes: the writer indents by each node's level, and nodes read from
// deeper in a file carry their depth there.
std::wstring NestedTextAsTopLevel(const CTreeTextNode& parent) {
    CTreeTextAnalyze tree;
    tree.SetText(NestedText(parent));
    tree.Parse();
    return NestedText(tree.m_root);
}

CTreeTextNode* FindChild(const CTreeTextNode& parent, const std::wstring& name) {
    for (int i = 0; i < parent.GetChildCount(); ++i)
        if (CTreeTextNode* child = parent.GetChild(i); child && child->m_para.m_strName == name)
            return child;
    return nullptr;
}

std::string ErrnoText() { return std::strerror(errno); }

} // namespace

std::wstring GetAreaText(const CMaskArea& area) {
    CTreeTextAnalyze tree;
    CTreeTextNode* root = tree.GetRoot();
    // Each node joins its parent before its own children, so that every level is its parent's + 1.
    root->AddChild(MakeNode(L"OutLineAcme", OutlineText(area)).release());
    if (area.m_children.GetSize() > 0) {
        CTreeTextNode* holes = MakeNode(L"InLineAcme", L"").release();
        root->AddChild(holes);
        for (int i = 0; i < area.m_children.GetSize(); ++i) {
            auto* hole = dynamic_cast<const CPolygon*>(area.m_children.GetAt(i));
            holes->AddChild(MakeNode(L"Item" + std::to_wstring(i + 1), hole ? OutlineText(*hole) : L"").release());
        }
    }
    CTreeTextAnalyze parameters;
    parameters.SetText(area.m_strParameters);
    parameters.Parse();
    CTreeTextNode* group = MakeNode(L"Parameters", L"").release();
    root->AddChild(group);
    const CTreeTextNode& top = parameters.m_root;
    for (int i = 0; i < top.GetChildCount(); ++i) {
        auto copy = std::make_unique<CTreeTextNode>();
        copy->CopyFrom(top.GetChild(i));
        const int32_t level = copy->m_nLevel;
        if (group->AddChild(copy.get()))
            copy.release()->m_nLevel = level;  // keeps its level: indented like the nodes of level 1
    }
    tree.Generate();
    return tree.GetText();
}

bool AreaFromText(const std::wstring& text, CMaskArea& area) {
    return AreaFromTextChecked(text, area) == AreaTextResult::Ok;
}

AreaTextResult AreaFromTextChecked(const std::wstring& text, CMaskArea& area) {
    CTreeTextAnalyze tree;
    tree.SetText(text);
    tree.Parse();
    const CTreeTextNode* first = tree.m_root.GetChild(0);
    const CTreeTextNode* outline = first ? FindChild(*first, L"OutLineAcme") : nullptr;
    if (!outline)
        return AreaTextResult::NoOutline;
    // Everything is counted, read and checked before the area changes; a list is counted before it is read.
    const auto tooMany = [](const std::wstring& list) {
        return VertexCount(list) > static_cast<size_t>(zrklimits::kMaxOutlineVertices);
    };
    if (tooMany(outline->m_para.m_strValue))
        return AreaTextResult::TooManyVertices;
    std::vector<CPoint> points;
    ParsePoints(outline->m_para.m_strValue, points);
    std::vector<std::vector<CPoint>> holes;
    if (const CTreeTextNode* inner = FindChild(*first, L"InLineAcme")) {
        for (int i = 0; i < inner->GetChildCount(); ++i)
            if (tooMany(inner->GetChild(i)->m_para.m_strValue))
                return AreaTextResult::TooManyVertices;
        for (int i = 0; i < inner->GetChildCount(); ++i)
            ParsePoints(inner->GetChild(i)->m_para.m_strValue, holes.emplace_back());
    }
    std::vector<CPoint> all;
    area.GetPoints(all);
    if (all.size() + points.size() > static_cast<size_t>(zrklimits::kMaxOutlineVertices))
        return AreaTextResult::TooManyVertices;
    all.insert(all.end(), points.begin(), points.end());
    area.SetPoints(all);
    for (const std::vector<CPoint>& holePoints : holes) {
        auto hole = std::make_unique<CPolygon>();
        hole->SetPoints(holePoints);
        if (area.m_children.Add(hole.get()))
            hole.release();
    }
    if (const CTreeTextNode* parameters = FindChild(*first, L"Parameters"))
        area.m_strParameters = NestedTextAsTopLevel(*parameters);
    return AreaTextResult::Ok;
}

std::wstring ResetKernelLinks(const std::wstring& parameters) {
    CTreeTextAnalyze tree;
    tree.SetText(parameters);
    tree.Parse();
    for (const wchar_t* name : {L"定位核X", L"定位核Y"})
        if (CTreeTextNode* node = tree.m_root.FindByName(name))
            node->m_para.m_strValue = L"0";
    return NestedText(tree.m_root);
}

AreaNameCheck CheckAreaFileName(const std::wstring& name) {
    if (name.empty())
        return AreaNameCheck::Empty;
    if (name == L"." || name == L".." || name.find_first_of(std::wstring(L"/\\\0", 3)) != std::wstring::npos)
        return AreaNameCheck::HasPath;
    if (WideToUtf8(name + L".ini").size() > 255 || EncodeText(name + L".ini", -1).size() > 255)
        return AreaNameCheck::TooLong;
    return AreaNameCheck::Ok;
}

std::wstring AreaNameMessage(AreaNameCheck check) {
    switch (check) {
    case AreaNameCheck::Empty: return L"文件名不能为空!";
    case AreaNameCheck::HasPath: return L"文件名不能包含路径!";
    case AreaNameCheck::TooLong: return L"文件名太长!";
    case AreaNameCheck::Ok: break;
    }
    return L"";
}

AreaFileResult WriteAreaFile(const std::wstring& folder, const std::wstring& name, const std::wstring& text,
                             std::wstring* error) {
    auto fail = [error](AreaFileResult result, const std::string& reason) {
        if (error)
            *error = Utf8ToWide(reason);
        return result;
    };
    if (CheckAreaFileName(name) != AreaNameCheck::Ok)
        return fail(AreaFileResult::BadName, "");
    std::string dir = WideToUtf8(folder);
    if (dir.empty())
        dir = ".";
    if (dir.back() != '/')
        dir += '/';
    // Create the folder (and its parents) when missing.
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        const std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return fail(AreaFileResult::NoFolder, ErrnoText());
    }
    struct stat st{};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return fail(AreaFileResult::NoFolder, "not a folder");

    const std::string target = dir + WideToUtf8(name) + ".ini";
    std::string temp = dir + ".areaXXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(AreaFileResult::WriteFailed, ErrnoText());
    const std::string bytes = EncodeText(text, -1);
    bool ok = true;
    std::string reason;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            reason = n < 0 ? ErrnoText() : "nothing written";
        } else {
            done += static_cast<size_t>(n);
        }
    }
    const mode_t mask = ::umask(0);  // read back the creation mask: the file gets the usual permissions
    ::umask(mask);
    if (ok && ::fchmod(fd, 0666 & ~mask) != 0) {
        ok = false;
        reason = ErrnoText();
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        reason = ErrnoText();
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        reason = ErrnoText();
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        reason = ErrnoText();
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(AreaFileResult::WriteFailed, reason);
    }
    return AreaFileResult::Ok;
}

AreaFileResult ReadAreaFile(const std::wstring& path, std::wstring& text) {
    text.clear();
    const std::string bytesPath = WideToUtf8(path);
    const int fd = ::open(bytesPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? AreaFileResult::NotFound : AreaFileResult::ReadFailed;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return AreaFileResult::ReadFailed;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxAreaFileBytes) {
        ::close(fd);
        return AreaFileResult::TooLarge;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return AreaFileResult::ReadFailed;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
        if (bytes.size() > kMaxAreaFileBytes) {  // grew while being read
            ::close(fd);
            return AreaFileResult::TooLarge;
        }
    }
    ::close(fd);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text = Utf16LeToWide(std::string_view(bytes).substr(2));
    } else {
        std::string_view view(bytes);
        if (GetAnsiCodePage() == 65001 && view.substr(0, 3) == "\xEF\xBB\xBF")
            view.remove_prefix(3);
        text = DecodeText(view, -1);
    }
    if (const size_t nul = text.find(L'\0'); nul != std::wstring::npos)
        text.resize(nul);
    return AreaFileResult::Ok;
}
