#pragma once
/// Language packs: the one process-wide lookup through which every text shown to the operator passes.
///
/// A pack is a parameter-structure script ("Language/<name>.lpk" beside the executable). Texts are looked
/// up among the direct key lines of the current section node ("source=translation"; the source compared
/// exactly, the first matching line wins, an empty translation leaves the text as it is). The section node
/// is found by name anywhere in the tree; the empty section name is the root itself, so before a section
/// is chosen the key lines above the first header of the file are used. A missing, empty or unreadable
/// pack translates nothing, silently.
///
/// Menu trees: a node named after a menu inside the section; its k-th child's name is the text of the
/// menu's k-th item (an empty name keeps the item's text) and the grandchildren stand for that item's
/// submenu, recursively.

#include "formats/MenuInterface.h"
#include "formats/TreeTextAnalyze.h"

#include <cstdint>
#include <memory>
#include <string>

class CLanguagePack : public CTreeTextAnalyze {
public:
    CLanguagePack();
    ~CLanguagePack() override;

    /// Remembers the name and loads "<exe folder>Language/<name>.lpk": true when the file was read and
    /// parsed; otherwise false and the tree stays as it was.
    bool LoadLanguage(const std::wstring& language);
    /// Sets the section texts are looked up in; returns the previous one.
    std::wstring SetSection(const std::wstring& section);
    /// The translation of the text in the current section, or the text itself. With flag 1 the escapes
    /// "\t", "\r" and "\n" (backslash + letter) of the translation become tab, carriage return and line
    /// feed, in that order. Look-ups are answered from an index of the section, rebuilt after any change
    /// of language, section or tree (see `CTreeTextAnalyze::GetTreeVersion`); while a node handed out by
    /// `GetRoot`, `FindByTreeID` or `FindByName` may be held (`NodesHandedOut`), it could change the tree
    /// unseen at any time, so each look-up then searches the section as it is.
    std::wstring Translate(const std::wstring& text, int flag = 0);
    /// Sets the section, finds the menu node (by name, depth-first from the section node) and translates
    /// the menu against it: for each position p while p is below the menu's current item count, a child
    /// at p with a non-empty name gives the item's text ("\t" made a tab); an item that opens a submenu is
    /// then translated against the child at p in the same way. Items beyond the children keep their texts.
    /// Nothing happens when the section or the menu node is missing.
    void TranslateMenu(IMenu& menu, const std::wstring& section, const std::wstring& menuNode);

    /// What a parameter of the deployment's scripts means, for an operator who does not read its stored
    /// name: the line "name=explanation" of the node "ParameterNames" inside the current section; empty
    /// when the pack has none. The names themselves stay as stored (code reads parameters by name).
    std::wstring ExplainParameter(const std::wstring& name);

    const std::wstring& GetSection() const { return m_strSection; }
    const std::wstring& GetLanguage() const { return m_strLanguage; }

    std::wstring m_strSection;  ///< the node under which texts are looked up
    std::wstring m_strLanguage; ///< the name last passed to `LoadLanguage`

private:
    struct Index;
    const Index& CurrentIndex();
    /// The translation of the first line of the section whose source is the text; empty when none.
    std::wstring SearchSection(const std::wstring& text);

    std::unique_ptr<Index> m_index;
};

/// The process's language pack, created empty on the first call and never destroyed.
CLanguagePack* GetLanguagePack();
/// `GetLanguagePack()->Translate(text, flag)`.
std::wstring Translate(const std::wstring& text, int flag = 0);
