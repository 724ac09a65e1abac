#include "TranslatedKeys.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

enum class Kind { Ident, Wide, Narrow, Number, Punct };

struct Token {
    Kind kind;
    std::string text;  ///< a wide literal's content with its escapes decoded
    int line;
};

std::string DecodeEscapes(const std::string& body) {
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 >= body.size()) {
            out += body[i];
            continue;
        }
        const char c = body[++i];
        switch (c) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        default: out += c; break;
        }
    }
    return out;
}

bool IdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::vector<Token> Tokenize(const std::string& s) {
    std::vector<Token> tokens;
    int line = 1;
    size_t i = 0;
    const auto quoted = [&](char quote) {  // s[i] is the opening quote; returns the raw body
        size_t start = ++i;
        while (i < s.size() && s[i] != quote) {
            if (s[i] == '\\')
                ++i;
            else if (s[i] == '\n')
                ++line;
            ++i;
        }
        std::string body = s.substr(start, std::min(i, s.size()) - start);
        ++i;
        return body;
    };
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (s.compare(i, 2, "//") == 0) {
            while (i < s.size() && s[i] != '\n')
                ++i;
        } else if (s.compare(i, 2, "/*") == 0) {
            size_t end = s.find("*/", i + 2);
            end = end == std::string::npos ? s.size() : end + 2;
            line += static_cast<int>(std::count(s.begin() + i, s.begin() + end, '\n'));
            i = end;
        } else if (IdentStart(c)) {
            size_t start = i;
            while (i < s.size() && IdentChar(s[i]))
                ++i;
            std::string word = s.substr(start, i - start);
            const bool raw = !word.empty() && word.back() == 'R' && i < s.size() && s[i] == '"';
            if (raw) {  // R"delim( ... )delim"
                size_t open = s.find('(', i);
                std::string close = ")" + s.substr(i + 1, open - i - 1) + "\"";
                size_t end = s.find(close, open);
                end = end == std::string::npos ? s.size() : end;
                std::string body = s.substr(open + 1, end - open - 1);
                line += static_cast<int>(std::count(body.begin(), body.end(), '\n'));
                i = std::min(s.size(), end + close.size());
                tokens.push_back({word[0] == 'L' ? Kind::Wide : Kind::Narrow, body, line});
            } else if ((word == "L" || word == "u8" || word == "u" || word == "U") && i < s.size() && s[i] == '"') {
                const int at = line;
                std::string body = DecodeEscapes(quoted('"'));
                tokens.push_back({word == "L" ? Kind::Wide : Kind::Narrow, body, at});
            } else if (word == "L" && i < s.size() && s[i] == '\'') {
                quoted('\'');
                tokens.push_back({Kind::Number, "'", line});
            } else {
                tokens.push_back({Kind::Ident, word, line});
            }
        } else if (c == '"') {
            const int at = line;
            tokens.push_back({Kind::Narrow, DecodeEscapes(quoted('"')), at});
        } else if (c == '\'') {
            quoted('\'');
            tokens.push_back({Kind::Number, "'", line});
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t start = i;
            while (i < s.size() && (IdentChar(s[i]) || s[i] == '.' || s[i] == '\''))
                ++i;
            tokens.push_back({Kind::Number, s.substr(start, i - start), line});
        } else if (s.compare(i, 2, "::") == 0 || s.compare(i, 2, "->") == 0) {
            tokens.push_back({Kind::Punct, s.substr(i, 2), line});
            i += 2;
        } else {
            tokens.push_back({Kind::Punct, std::string(1, c), line});
            ++i;
        }
    }
    // Adjacent wide literals are one literal.
    std::vector<Token> merged;
    for (Token& t : tokens) {
        if (t.kind == Kind::Wide && !merged.empty() && merged.back().kind == Kind::Wide)
            merged.back().text += t.text;
        else
            merged.push_back(std::move(t));
    }
    return merged;
}

bool Is(const std::vector<Token>& t, size_t i, const char* text) {
    return i < t.size() && t[i].kind == Kind::Punct && t[i].text == text;
}

/// The index of the bracket closing the one at `open`; t.size() when unbalanced.
size_t Matching(const std::vector<Token>& t, size_t open) {
    const std::string o = t[open].text;
    const std::string c = o == "(" ? ")" : o == "[" ? "]" : o == "{" ? "}" : ">";
    int depth = 0;
    for (size_t i = open; i < t.size(); ++i) {
        if (t[i].kind != Kind::Punct)
            continue;
        if (t[i].text == o)
            ++depth;
        else if (t[i].text == c && --depth == 0)
            return i;
    }
    return t.size();
}

/// The top-level comma-separated pieces of the range (begin, end) exclusive of the brackets.
std::vector<std::pair<size_t, size_t>> SplitArgs(const std::vector<Token>& t, size_t open, size_t close) {
    std::vector<std::pair<size_t, size_t>> args;
    size_t start = open + 1;
    int depth = 0;
    for (size_t i = open + 1; i < close; ++i) {
        if (t[i].kind == Kind::Punct) {
            const std::string& p = t[i].text;
            if (p == "(" || p == "[" || p == "{")
                ++depth;
            else if (p == ")" || p == "]" || p == "}")
                --depth;
            else if (p == "," && depth == 0) {
                args.push_back({start, i});
                start = i + 1;
            }
        }
    }
    if (start < close)
        args.push_back({start, close});
    return args;
}

const std::set<std::string> kNotFunctions = {"if", "for", "while", "switch", "catch", "return", "sizeof",
                                             "decltype", "static_assert", "alignof", "noexcept"};

const std::set<std::string> kBeforeCalls = {"return", "else", "do", "throw", "case", "co_return", "new"};

struct Function {
    size_t file;
    std::string name;
    std::vector<std::string> params;
    size_t bodyOpen, bodyClose;
    bool lambda;
    size_t paramsClose = 0;
};

struct Source {
    std::string name;
    std::vector<Token> tokens;
};

/// Function and lambda definitions of one file.
void FindFunctions(const Source& src, size_t fileIndex, std::vector<Function>& out) {
    const auto& t = src.tokens;
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (!Is(t, i + 1, "("))
            continue;
        bool lambda = Is(t, i, "]");
        if (!lambda && (t[i].kind != Kind::Ident || kNotFunctions.count(t[i].text)))
            continue;
        size_t close = Matching(t, i + 1);
        size_t body = close + 1;
        while (body < t.size() && t[body].kind == Kind::Ident &&
               (t[body].text == "const" || t[body].text == "override" || t[body].text == "noexcept" ||
                t[body].text == "mutable" || t[body].text == "final"))
            ++body;
        if (Is(t, body, "->")) {  // a trailing return type
            while (body < t.size() && !Is(t, body, "{") && !Is(t, body, ";"))
                ++body;
        }
        if (Is(t, body, ":") && !lambda) {  // a constructor's initialisers
            while (body < t.size() && !Is(t, body, "{") && !Is(t, body, ";"))
                ++body;
            // `{` of an initialiser `m_x{...}` is not the body: skip balanced initialisers
            while (Is(t, body, "{") && body > 0 && t[body - 1].kind == Kind::Ident && t[body - 1].text != "const") {
                body = Matching(t, body) + 1;
                while (body < t.size() && !Is(t, body, "{") && !Is(t, body, ";"))
                    ++body;
            }
        }
        if (!Is(t, body, "{"))
            continue;
        Function f{fileIndex, "", {}, body, Matching(t, body), lambda, close};
        if (lambda) {  // name = [..](..){..}: the name before "=" before the capture list
            int depth = 0;
            size_t k = i;
            for (;; --k) {
                if (Is(t, k, "]"))
                    ++depth;
                else if (Is(t, k, "[") && --depth == 0)
                    break;
                if (k == 0)
                    break;
            }
            if (k >= 2 && Is(t, k - 1, "=") && t[k - 2].kind == Kind::Ident)
                f.name = t[k - 2].text;
        } else {
            f.name = t[i].text;
        }
        if (f.name.empty())
            continue;
        for (auto [b, e] : SplitArgs(t, i + 1, close)) {
            std::string name;
            for (size_t k = b; k < e && !Is(t, k, "="); ++k)
                if (t[k].kind == Kind::Ident)
                    name = t[k].text;
            f.params.push_back(name);
        }
        out.push_back(std::move(f));
    }
}

bool Wanted(const std::string& key) {
    if (key.empty())
        return false;
    if (std::any_of(key.begin(), key.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return true;
    return std::all_of(key.begin(), key.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

class Scanner {
public:
    explicit Scanner(std::vector<Source> sources) : m_sources(std::move(sources)) {
        for (size_t f = 0; f < m_sources.size(); ++f)
            FindFunctions(m_sources[f], f, m_functions);
    }

    std::map<std::string, TranslatedKey> Run() {
        // translators: name -> parameter positions that are handed to the language pack
        m_translators["Translate"].insert(0);
        // The edit journal's step labels come back through `Translate` in the undo and redo menu items.
        m_translators["CEditStep"].insert(1);
        m_translators["BeginEdit"].insert(0);
        m_translators["RelabelEdit"].insert(0);
        for (bool grown = true; grown;) {
            grown = false;
            // Members whose text is translated somewhere: a function storing a parameter in one hands it on.
            std::set<std::string> members;
            for (size_t file = 0; file < m_sources.size(); ++file) {
                const auto& t = m_sources[file].tokens;
                ForEachTranslatedArgument(file, 0, t.size(), [&](size_t b, size_t e) {
                    for (size_t k = b; k < e; ++k)
                        if (t[k].kind == Kind::Ident && t[k].text.rfind("m_", 0) == 0)
                            members.insert(t[k].text);
                });
            }
            for (const Function& f : m_functions) {
                const auto& t = m_sources[f.file].tokens;
                const auto mark = [&](const std::string& param) {
                    auto found = std::find(f.params.begin(), f.params.end(), param);
                    if (found != f.params.end())
                        grown |= m_translators[TranslatorKey(f)].insert(static_cast<int>(found - f.params.begin())).second;
                };
                ForEachTranslatedArgument(f.file, f.bodyOpen, f.bodyClose, [&](size_t b, size_t e) {
                    if (e == b + 1 && t[b].kind == Kind::Ident)
                        mark(t[b].text);
                });
                for (size_t k = f.paramsClose + 1; k + 3 < f.bodyClose; ++k) {
                    if (t[k].kind != Kind::Ident || !members.count(t[k].text))
                        continue;
                    if ((Is(t, k + 1, "(") && Is(t, k + 3, ")")) || (Is(t, k + 1, "{") && Is(t, k + 3, "}")) ||
                        (Is(t, k + 1, "=") && Is(t, k + 3, ";")))
                        if (t[k + 2].kind == Kind::Ident)
                            mark(t[k + 2].text);
                }
            }
        }
        for (size_t file = 0; file < m_sources.size(); ++file) {
            const auto& t = m_sources[file].tokens;
            ForEachTranslatedArgument(file, 0, t.size(), [&](size_t b, size_t e) {
                // The enclosing function's parameters come from its callers (see the translators above).
                const Function* inner = nullptr;
                for (const Function& f : m_functions)
                    if (f.file == file && f.bodyOpen < b && b < f.bodyClose &&
                        (!inner || f.bodyOpen > inner->bodyOpen))
                        inner = &f;
                m_skip = inner ? std::set<std::string>(inner->params.begin(), inner->params.end())
                               : std::set<std::string>();
                CollectArgument(file, b, e, 0);
            });
        }
        return std::move(m_keys);
    }

private:
    // A lambda is known inside its own file only; a function everywhere.
    std::string TranslatorKey(const Function& f) const {
        return f.lambda ? m_sources[f.file].name + "#" + f.name : f.name;
    }
    const std::set<int>* TranslatorPositions(size_t file, const std::string& name) const {
        auto found = m_translators.find(m_sources[file].name + "#" + name);
        if (found == m_translators.end())
            found = m_translators.find(name);
        return found == m_translators.end() ? nullptr : &found->second;
    }

    template <class Visit>
    void ForEachTranslatedArgument(size_t file, size_t from, size_t to, Visit&& visit) {
        const auto& t = m_sources[file].tokens;
        for (size_t i = from; i + 1 < to; ++i) {
            if (t[i].kind != Kind::Ident)
                continue;
            size_t open = i + 1;  // `Type name(args)` constructs a translating object
            if (t[open].kind == Kind::Ident && Is(t, open + 1, "("))
                ++open;
            if (!Is(t, open, "("))
                continue;
            const std::set<int>* positions = TranslatorPositions(file, t[i].text);
            if (!positions)
                continue;
            size_t close = Matching(t, open);
            const bool initialiser = i > 0 && (Is(t, i - 1, ":") || Is(t, i - 1, ","));  // `: Base(args) {`
            if ((Is(t, close + 1, "{") && !initialiser) || (close + 1 < t.size() && t[close + 1].kind == Kind::Ident &&
                                          (t[close + 1].text == "const" || t[close + 1].text == "override")))
                continue;  // a definition or declaration, not a call
            if (close + 1 < t.size() && Is(t, close + 1, ";") && i > 0 && t[i - 1].kind == Kind::Ident &&
                !kBeforeCalls.count(t[i - 1].text))
                continue;  // a declaration `QString Tr(const wchar_t* text);`
            const auto args = SplitArgs(t, open, close);
            for (int p : *positions)
                if (p < static_cast<int>(args.size()))
                    visit(args[p].first, args[p].second);
        }
    }

    void Add(size_t file, const Token& token) {
        if (token.kind == Kind::Wide && Wanted(token.text))
            m_keys.try_emplace(token.text, TranslatedKey{m_sources[file].name, token.line});
    }

    void CollectRange(size_t file, size_t b, size_t e) {
        const auto& t = m_sources[file].tokens;
        for (size_t k = b; k < e; ++k)
            Add(file, t[k]);
    }

    void CollectArgument(size_t file, size_t b, size_t e, int depth) {
        if (depth > 4)
            return;
        const auto& t = m_sources[file].tokens;
        for (size_t k = b; k < e; ++k) {
            if (t[k].kind == Kind::Wide) {
                Add(file, t[k]);
                continue;
            }
            if (t[k].kind != Kind::Ident || (k > b && (Is(t, k - 1, ".") || Is(t, k - 1, "->"))))
                continue;
            const std::string& name = t[k].text;
            if (depth == 0 && m_skip.count(name))
                continue;
            if (Is(t, k + 1, "(")) {
                if (TranslatorPositions(file, name))
                    continue;  // a call of a translator inside the argument is visited on its own
                for (const Function& f : m_functions) {
                    if (f.name != name || f.lambda)
                        continue;
                    const auto& ft = m_sources[f.file].tokens;
                    for (size_t r = f.bodyOpen; r + 1 < f.bodyClose; ++r)
                        if (ft[r].kind == Kind::Ident && ft[r].text == "return")
                            for (size_t q = r + 1; q < f.bodyClose && !Is(ft, q, ";"); ++q)
                                Add(f.file, ft[q]);
                }
                continue;
            }
            // A table of this file named so, the range of a range-for over one, or the texts assigned to it
            // (in this file; a member's anywhere).
            const bool member = name.rfind("m_", 0) == 0;
            for (size_t f = 0; f < m_sources.size(); ++f) {
                if (f != file && !member)
                    continue;
                const auto& ft = m_sources[f].tokens;
                for (size_t p = 0; p + 2 < ft.size(); ++p) {
                    if (ft[p].kind != Kind::Ident || ft[p].text != name)
                        continue;
                    size_t q = p + 1;
                    if (Is(ft, q, "["))
                        q = Matching(ft, q) + 1;
                    if (Is(ft, q, "=") && !Is(ft, q + 1, "="))
                        ++q;
                    if (Is(ft, q, "{") && (q != p + 1 || (p > 0 && ft[p - 1].kind == Kind::Ident))) {
                        CollectRange(f, q, Matching(ft, q));
                        continue;
                    }
                    if (q == p + 2 && Is(ft, p + 1, "=")) {  // X = ...;
                        size_t end = q;
                        while (end < ft.size() && !Is(ft, end, ";"))
                            ++end;
                        CollectRange(f, q, end);
                        continue;
                    }
                    size_t colon = p + 1;  // a structured binding [a, X] : range
                    while (colon < ft.size() && (Is(ft, colon, ",") || ft[colon].kind == Kind::Ident))
                        ++colon;
                    if (Is(ft, colon, "]"))
                        ++colon;
                    bool inFor = false;  // only `for (... X : range)`, never `a ? X : b` or a label
                    for (size_t k = p; k > 1 && k + 12 > p; --k) {
                        if (Is(ft, k, ";") || Is(ft, k, "{") || Is(ft, k, "}"))
                            break;
                        if (Is(ft, k, "(") && ft[k - 1].kind == Kind::Ident && ft[k - 1].text == "for") {
                            inFor = true;
                            break;
                        }
                    }
                    if (f == file && inFor && Is(ft, colon, ":")) {
                        size_t end = colon + 1;
                        int level = 0;
                        while (end < ft.size() && !(level == 0 && Is(ft, end, ")"))) {
                            if (Is(ft, end, "("))
                                ++level;
                            else if (Is(ft, end, ")"))
                                --level;
                            ++end;
                        }
                        CollectArgument(file, colon + 1, end, depth + 1);
                    }
                }
            }
        }
    }

    std::vector<Source> m_sources;
    std::vector<Function> m_functions;
    std::map<std::string, std::set<int>> m_translators;
    std::map<std::string, TranslatedKey> m_keys;
    std::set<std::string> m_skip;
};

} // namespace

std::map<std::string, TranslatedKey> GatherTranslatedKeysFromTexts(const std::map<std::string, std::string>& files) {
    std::vector<Source> sources;
    for (const auto& [name, text] : files)
        sources.push_back({name, Tokenize(text)});
    return Scanner(std::move(sources)).Run();
}

std::map<std::string, TranslatedKey> GatherTranslatedKeys(const std::filesystem::path& root,
                                                          const std::vector<std::string>& folders) {
    std::map<std::string, std::string> files;
    for (const std::string& folder : folders) {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(root / folder, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            const auto ext = it->path().extension();
            if (!it->is_regular_file() || (ext != ".cpp" && ext != ".h"))
                continue;
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            files[std::filesystem::relative(it->path(), root).generic_string()] = text.str();
        }
    }
    return GatherTranslatedKeysFromTexts(files);
}
