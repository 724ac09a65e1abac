#pragma once
/// Writes one JSON text, value by value, for the assisted set-up's programs (zrk-assist's answers, the
/// sheet generator's truth files). Objects and arrays of objects are written one member per line with
/// two-space indentation; arrays opened as inline (short lists of numbers) stay on one line. Numbers are
/// written without the locale (a point, never a comma); a number that is not finite is written as null.
/// Strings are UTF-8; quotes, backslashes and control characters are escaped.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CJsonWriter {
public:
    void BeginObject();
    void EndObject();
    /// `inlineArray`: the array and everything in it on one line.
    void BeginArray(bool inlineArray = false);
    void EndArray();
    /// The name of the next member of the open object.
    void Key(std::string_view key);

    void String(std::string_view value);
    void Int(int64_t value);
    /// With `decimals` digits after the point (trailing zeros removed, at least one digit kept).
    void Number(double value, int decimals = 3);
    void Bool(bool value);
    void Null();

    /// The text so far; complete once every object and array is closed (a final newline is added then).
    const std::string& GetText() const { return m_strText; }

    /// The string as a JSON string literal, quotes included.
    static std::string Quote(std::string_view value);
    /// The number as `Number` writes it.
    static std::string FormatNumber(double value, int decimals);

private:
    struct Level {
        bool m_bArray = false;
        bool m_bInline = false;
        bool m_bEmpty = true;
    };
    void BeforeValue();
    void NewLine();

    std::string m_strText;
    std::vector<Level> m_levels;
    bool m_bAfterKey = false;
};
