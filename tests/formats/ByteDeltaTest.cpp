// The stored form of a byte difference: what the template store keeps for every revision but the full copies.
#include "formats/ByteDelta.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

} // namespace

TEST(ByteDeltaEncoding, DecodedDifferenceRebuildsTheTargetForEveryKindOfEdit) {
    const std::string large = RandomBytes(200000, 7);
    std::string moved = large;
    moved.replace(100000, 8, "\x01\x02\x03\x04\x05\x06\x07\x08");  // one area moved: a few bytes differ
    std::string inserted = large;
    inserted.insert(50000, RandomBytes(3000, 9));
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"", "abc"}, {"abc", ""}, {"same", "same"}, {large, moved}, {large, inserted}, {inserted, large},
        {large, RandomBytes(1000, 11)},
    };
    for (const auto& [from, to] : cases) {
        const std::string stored = CByteDelta::Make(from, to).Encode();
        CByteDelta decoded;
        ASSERT_TRUE(CByteDelta::Decode(stored, decoded)) << from.size() << " -> " << to.size();
        EXPECT_EQ(decoded.Apply(from), to);
    }
    // A small change of a large string is stored small.
    EXPECT_LT(CByteDelta::Make(large, moved).Encode().size(), 1000u);
}

TEST(ByteDeltaEncoding, RefusesTruncatedAndInconsistentBytes) {
    const std::string from = RandomBytes(5000, 3);
    std::string to = from;
    to.insert(2500, "a few new bytes in the middle");
    const std::string stored = CByteDelta::Make(from, to).Encode();
    CByteDelta decoded;
    for (size_t cut : {size_t(0), size_t(1), size_t(3), stored.size() / 2, stored.size() - 1})
        EXPECT_FALSE(CByteDelta::Decode(std::string_view(stored).substr(0, cut), decoded)) << cut;
    EXPECT_FALSE(CByteDelta::Decode(stored + "x", decoded));  // more literal bytes than the runs name
    // A copy reaching past the source it names.
    std::string bad;
    bad += char(4);           // source size
    bad += char(4);           // target size
    bad += char(1);           // one run
    bad += char((4 << 1) | 1); // a copy of 4 bytes
    bad += char(2);           // from offset 2: past the end
    EXPECT_FALSE(CByteDelta::Decode(bad, decoded));
    bad.back() = char(0);
    ASSERT_TRUE(CByteDelta::Decode(bad, decoded));
    EXPECT_EQ(decoded.Apply("wxyz"), "wxyz");
}
