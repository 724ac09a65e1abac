// Parameter-structure scripts and language packs: parsing a large script (beside a reference parse that
// rescans the tree for each node's numbers, as the reading rules are worded) and language-pack look-ups
// (beside a look-up that searches the section's lines on every call).

#include "formats/LanguagePack.h"
#include "formats/TreeTextAnalyze.h"

#include <benchmark/benchmark.h>

#include <cwctype>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::wstring>;

// About 200,000 lines of about 40,000 nodes: groups of nine parameters, some groups holding a sub-group.
const Lines& LargeScript() {
    static const Lines lines = [] {
        Lines out;
        int group = 0;
        while (out.size() < 200'000) {
            const std::wstring g = std::to_wstring(group);
            out.push_back(L"[检测组" + g + L"]");
            out.push_back(L"    Type=0");
            out.push_back(L"    Hint=组" + g);
            const int params = group % 5 == 4 ? 4 : 9;
            for (int p = 0; p < params; ++p) {
                const std::wstring name = L"参数" + g + L"_" + std::to_wstring(p);
                const wchar_t* indent = group % 5 == 4 ? L"        " : L"    ";
                if (group % 5 == 4 && p == 0)
                    out.push_back(L"    [子组]");
                out.push_back(indent + (L"[" + name + L"]"));
                out.push_back(indent + std::wstring(L"    Type=3"));
                out.push_back(indent + std::wstring(L"    Value=") + std::to_wstring(p));
                out.push_back(indent + std::wstring(L"    Hint=灵敏度"));
                out.push_back(indent + std::wstring(L"[END]"));
            }
            if (group % 5 == 4)
                out.push_back(L"    [END]");
            out.push_back(L"[END]");
            ++group;
        }
        return out;
    }();
    return lines;
}

// The reading rules taken word by word: a lower-case copy of each line, and each new node numbered by
// scanning its siblings for the largest identifier and the whole tree for the largest tree number.
void RescanningParse(CTreeTextAnalyze& s) {
    s.m_root.m_children.RemoveAll();
    CTreeTextNode* current = &s.m_root;
    for (const std::wstring& raw : s.m_arLines) {
        const size_t first = raw.find_first_not_of(L" \t\r\n");
        const std::wstring line = first == std::wstring::npos ? std::wstring() : raw.substr(first);
        std::wstring lower = line;
        for (wchar_t& c : lower)
            c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        if (lower.rfind(L"[end", 0) == 0) {
            if (!current->m_pParent)
                break;
            current = current->m_pParent;
        } else if (lower.rfind(L"[", 0) == 0) {
            auto* node = new CTreeTextNode;
            const size_t close = line.find(L']');
            if (close != std::wstring::npos)
                node->m_para.m_strName = line.substr(1, close - 1);
            node->m_nID = current->m_children.GetMaxID() + 1;
            node->m_nTreeID = s.m_root.GetMaxTreeID() + 1;
            current->AddChild(node);
            current = node;
        } else if (const size_t eq = lower.find(L'='); eq != std::wstring::npos) {
            const std::wstring key = lower.substr(0, eq);
            std::wstring value = line.substr(eq + 1);
            value.erase(value.find_last_not_of(L" \t\r\n") + 1);
            CTreeParaStruct& p = current->m_para;
            if (key == L"type")
                p.m_nType = std::stoi(L"0" + value.substr(0, value.find_first_not_of(L"0123456789")));
            else if (key == L"defaultvalue")
                p.m_strDefaultValue = value;
            else if (key == L"value")
                p.m_strValue = value;
            else if (key == L"remark")
                p.m_strRemark = value;
            else if (key == L"combolist")
                SplitText(value, L',', p.m_arComboList);
            else
                p.m_arExtraLines.push_back(line);
        }
    }
}

// Identifier, tree number, level, name and value of every node, in pre-order.
std::wstring Fingerprint(CTreeTextNode& root) {
    std::wstring out;
    std::vector<CTreeTextNode*> stack{&root};
    while (!stack.empty()) {
        CTreeTextNode* n = stack.back();
        stack.pop_back();
        out += std::to_wstring(n->m_nID) + L"," + std::to_wstring(n->m_nTreeID) + L"," +
               std::to_wstring(n->m_nLevel) + L"," + n->GetName() + L"," + n->m_para.m_strValue + L"," +
               std::to_wstring(n->m_para.m_nType) + L";";
        for (int i = n->GetChildCount() - 1; i >= 0; --i)
            stack.push_back(n->GetChild(i));
    }
    return out;
}

void BM_ParseScript(benchmark::State& state) {
    CTreeTextAnalyze s;
    s.m_arLines = LargeScript();
    for (auto _ : state)
        s.Parse();
    state.counters["lines"] = static_cast<double>(s.m_arLines.size());
    state.counters["nodes"] = s.GetMaxTreeID();
}
BENCHMARK(BM_ParseScript)->Unit(benchmark::kMillisecond);

void BM_ParseScriptRescanning(benchmark::State& state) {
    CTreeTextAnalyze s;
    s.m_arLines = LargeScript();
    for (auto _ : state)
        RescanningParse(s);
    CTreeTextAnalyze linear;
    linear.m_arLines = LargeScript();
    linear.Parse();
    if (Fingerprint(s.m_root) != Fingerprint(linear.m_root))
        state.SkipWithError("the linear parse differs from the rescanning parse");
    state.counters["lines"] = static_cast<double>(s.m_arLines.size());
    state.counters["nodes"] = s.GetMaxTreeID();
}
BENCHMARK(BM_ParseScriptRescanning)->Unit(benchmark::kMillisecond)->Iterations(1);

// A pack of 5,000 lines: the module's section with 4,900 translations and a small menu tree.
Lines LargePack() {
    Lines out{L"[Other.dll]", L"确定=OK", L"[END]", L"[ZRKDll.dll]"};
    for (int i = 0; i < 4'900; ++i)
        out.push_back(L"界面文本" + std::to_wstring(i) + L"=Interface text " + std::to_wstring(i));
    out.push_back(L"[ZRKPopUp]");
    while (out.size() < 4'998)
        out.insert(out.end(), {L"[Item]", L"[END]"});
    out.insert(out.end(), {L"[END]", L"[END]"});
    return out;
}

// 100,000 look-ups: nine in ten found, spread over the whole section.
const std::vector<std::wstring>& Keys() {
    static const std::vector<std::wstring> keys = [] {
        std::vector<std::wstring> k;
        for (int i = 0; i < 100'000; ++i)
            k.push_back(i % 10 == 9 ? L"未翻译" + std::to_wstring(i)
                                    : L"界面文本" + std::to_wstring((i * 37) % 4'900));
        return k;
    }();
    return keys;
}

void BM_Translate100k(benchmark::State& state) {
    CLanguagePack pack;
    pack.m_arLines = LargePack();
    pack.Parse();
    pack.SetSection(L"ZRKDll.dll");
    size_t translated = 0;
    for (auto _ : state) {
        translated = 0;
        for (const std::wstring& key : Keys())
            translated += pack.Translate(key) != key;
    }
    state.counters["pack_lines"] = static_cast<double>(pack.m_arLines.size());
    state.counters["translated"] = static_cast<double>(translated);
}
BENCHMARK(BM_Translate100k)->Unit(benchmark::kMillisecond);

void BM_Translate100kSearchingEveryCall(benchmark::State& state) {
    CLanguagePack pack;
    pack.m_arLines = LargePack();
    pack.Parse();
    size_t translated = 0;
    for (auto _ : state) {
        translated = 0;
        for (const std::wstring& key : Keys()) {
            CTreeTextNode* section = pack.m_root.FindByName(L"ZRKDll.dll");
            const std::wstring value = section ? section->m_para.GetExtraValue(key) : std::wstring();
            translated += !value.empty();
        }
    }
    state.counters["translated"] = static_cast<double>(translated);
}
BENCHMARK(BM_Translate100kSearchingEveryCall)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
