#include "assist/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

void CJsonWriter::NewLine() {
    m_strText += '\n';
    m_strText.append(2 * m_levels.size(), ' ');
}

void CJsonWriter::BeforeValue() {
    if (m_bAfterKey) {
        m_bAfterKey = false;
        return;
    }
    if (m_levels.empty())
        return;
    Level& level = m_levels.back();
    if (!level.m_bArray)
        throw std::logic_error("JSON: a value inside an object needs a key first");
    if (!level.m_bEmpty)
        m_strText += level.m_bInline ? ", " : ",";
    if (!level.m_bInline)
        NewLine();
    level.m_bEmpty = false;
}

void CJsonWriter::BeginObject() {
    BeforeValue();
    m_strText += '{';
    const bool inlineParent = !m_levels.empty() && m_levels.back().m_bInline;
    m_levels.push_back({false, inlineParent, true});
}

void CJsonWriter::EndObject() {
    if (m_levels.empty() || m_levels.back().m_bArray)
        throw std::logic_error("JSON: no object to close");
    const Level level = m_levels.back();
    m_levels.pop_back();
    if (!level.m_bEmpty && !level.m_bInline)
        NewLine();
    m_strText += '}';
    if (m_levels.empty())
        m_strText += '\n';
}

void CJsonWriter::BeginArray(bool inlineArray) {
    BeforeValue();
    m_strText += '[';
    const bool inlineParent = !m_levels.empty() && m_levels.back().m_bInline;
    m_levels.push_back({true, inlineArray || inlineParent, true});
}

void CJsonWriter::EndArray() {
    if (m_levels.empty() || !m_levels.back().m_bArray)
        throw std::logic_error("JSON: no array to close");
    const Level level = m_levels.back();
    m_levels.pop_back();
    if (!level.m_bEmpty && !level.m_bInline)
        NewLine();
    m_strText += ']';
    if (m_levels.empty())
        m_strText += '\n';
}

void CJsonWriter::Key(std::string_view key) {
    if (m_levels.empty() || m_levels.back().m_bArray || m_bAfterKey)
        throw std::logic_error("JSON: a key belongs inside an object, before its value");
    Level& level = m_levels.back();
    if (!level.m_bEmpty)
        m_strText += level.m_bInline ? ", " : ",";
    if (!level.m_bInline)
        NewLine();
    level.m_bEmpty = false;
    m_strText += Quote(key);
    m_strText += ": ";
    m_bAfterKey = true;
}

void CJsonWriter::String(std::string_view value) {
    BeforeValue();
    m_strText += Quote(value);
}

void CJsonWriter::Int(int64_t value) {
    BeforeValue();
    m_strText += std::to_string(value);
}

void CJsonWriter::Number(double value, int decimals) {
    BeforeValue();
    m_strText += FormatNumber(value, decimals);
}

void CJsonWriter::Bool(bool value) {
    BeforeValue();
    m_strText += value ? "true" : "false";
}

void CJsonWriter::Null() {
    BeforeValue();
    m_strText += "null";
}

std::string CJsonWriter::Quote(std::string_view value) {
    std::string out = "\"";
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
    return out;
}

std::string CJsonWriter::FormatNumber(double value, int decimals) {
    if (!std::isfinite(value))
        return "null";
    if (decimals < 0)
        decimals = 0;
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string text(buf, result.ptr);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text += '0';
    }
    if (text == "-0.0" || text == "-0")
        text = text.substr(1);
    return text;
}
