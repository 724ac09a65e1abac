// The JSON writer: whole texts compared, escaping, numbers without the locale, misuse refused.

#include "assist/JsonWriter.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <stdexcept>

TEST(JsonWriter, NestedObjectsAndInlineArraysMakeTheWholeText) {
    CJsonWriter w;
    w.BeginObject();
    w.Key("columns");
    w.Int(4);
    w.Key("crop");
    w.BeginArray(true);
    for (int v : {0, 12, 800, 600})
        w.Int(v);
    w.EndArray();
    w.Key("warnings");
    w.BeginArray();
    w.BeginObject();
    w.Key("code");
    w.String("blank");
    w.Key("doubt");
    w.Bool(true);
    w.EndObject();
    w.EndArray();
    w.Key("empty");
    w.BeginArray();
    w.EndArray();
    w.EndObject();
    EXPECT_EQ(w.GetText(), "{\n"
                           "  \"columns\": 4,\n"
                           "  \"crop\": [0, 12, 800, 600],\n"
                           "  \"warnings\": [\n"
                           "    {\n"
                           "      \"code\": \"blank\",\n"
                           "      \"doubt\": true\n"
                           "    }\n"
                           "  ],\n"
                           "  \"empty\": []\n"
                           "}\n");
}

TEST(JsonWriter, StringsEscapeQuotesBackslashesAndControlCharactersAndKeepUtf8) {
    EXPECT_EQ(CJsonWriter::Quote("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(CJsonWriter::Quote("line\nnext\ttab\r"), "\"line\\nnext\\ttab\\r\"");
    EXPECT_EQ(CJsonWriter::Quote(std::string("\x01\x1f", 2)), "\"\\u0001\\u001f\"");
    EXPECT_EQ(CJsonWriter::Quote("小张"), "\"小张\"");
}

TEST(JsonWriter, NumbersUseAPointWhateverTheLocaleAndDropTrailingZeros) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // a comma locale when installed; the writer must not care
    EXPECT_EQ(CJsonWriter::FormatNumber(1.5, 3), "1.5");
    EXPECT_EQ(CJsonWriter::FormatNumber(2.0, 3), "2.0");
    EXPECT_EQ(CJsonWriter::FormatNumber(-0.0001, 2), "0.0");
    EXPECT_EQ(CJsonWriter::FormatNumber(1380.3712, 2), "1380.37");
    EXPECT_EQ(CJsonWriter::FormatNumber(7.0, 0), "7");
    EXPECT_EQ(CJsonWriter::FormatNumber(std::nan(""), 3), "null");
    EXPECT_EQ(CJsonWriter::FormatNumber(INFINITY, 3), "null");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(JsonWriter, RefusesAValueWithoutKeyInAnObjectAndMismatchedClosings) {
    CJsonWriter w;
    w.BeginObject();
    EXPECT_THROW(w.Int(1), std::logic_error);
    EXPECT_THROW(w.EndArray(), std::logic_error);
    w.Key("a");
    EXPECT_THROW(w.Key("b"), std::logic_error);
    w.BeginArray();
    EXPECT_THROW(w.Key("c"), std::logic_error);
    EXPECT_THROW(w.EndObject(), std::logic_error);
}
