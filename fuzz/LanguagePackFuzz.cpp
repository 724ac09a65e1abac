// Language packs: the bytes as a pack file of a deployment folder of this process, loaded by name, then
// texts and a menu translated in sections named by the pack itself.

#include "FuzzSupport.h"

#include "formats/CodePage.h"
#include "formats/LanguagePack.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace {

class CMemMenu : public IMenu {
public:
    struct Item {
        std::wstring text;
        int id = 0;
        std::unique_ptr<CMemMenu> sub;
    };
    std::vector<Item> m_items;

    int GetItemCount() const override { return static_cast<int>(m_items.size()); }
    std::wstring GetItemText(int p) const override { return In(p) ? m_items[p].text : std::wstring(); }
    void SetItemText(int p, const std::wstring& text) override {
        if (In(p))
            m_items[p].text = text;
    }
    int GetItemID(int p) const override { return In(p) ? (m_items[p].sub ? 0 : m_items[p].id) : -1; }
    IMenu* GetSubMenu(int p) override { return In(p) ? m_items[p].sub.get() : nullptr; }

private:
    bool In(int p) const { return p >= 0 && p < GetItemCount(); }
};

CMemMenu MakeMenu(int depth) {
    CMemMenu menu;
    for (int i = 0; i < 3; ++i) {
        CMemMenu::Item item;
        item.text = L"item" + std::to_wstring(i);
        item.id = 100 + i;
        if (depth > 0 && i == 1)
            item.sub = std::make_unique<CMemMenu>(MakeMenu(depth - 1));
        menu.m_items.push_back(std::move(item));
    }
    return menu;
}

std::string Folder() {
    static const std::string folder = [] {
        const std::string f = fuzz::ScratchPath("deploy/");
        std::filesystem::create_directories(f + "Language");
        setenv("ZRK_EXE_FOLDER", f.c_str(), 1);
        return f;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file = Folder() + "Language/fuzz.lpk";
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size))
        std::abort();
    std::fclose(f);

    CLanguagePack pack;
    if (!pack.LoadLanguage(L"fuzz"))
        return 0;
    std::vector<std::wstring> sections = {L"", L"ZRKDlg", L"Menu"};
    for (int i = 0; i < pack.m_root.GetChildCount() && sections.size() < 8; ++i)
        sections.push_back(pack.m_root.GetChild(i)->m_para.m_strName);
    for (const std::wstring& section : sections) {
        pack.SetSection(section);
        for (const wchar_t* text : {L"", L"=", L"保存", L"item1", L"\\n"}) {
            pack.Translate(text, 0);
            pack.Translate(text, 1);
        }
        CMemMenu menu = MakeMenu(2);
        pack.TranslateMenu(menu, section, L"Menu");
        pack.TranslateMenu(menu, section, section);
    }
    return 0;
}
