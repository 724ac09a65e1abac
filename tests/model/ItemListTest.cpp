#include "model/ItemList.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <random>

namespace {

// A named item with one value, enough to see what lists keep and copy.
class NamedItem : public CIDItem {
public:
    NamedItem() = default;
    NamedItem(std::wstring name, int value, int id = -1) : m_strName(std::move(name)), m_nValue(value) {
        m_nID = id;
    }
    std::wstring GetName() const override { return m_strName; }
    bool CopyFrom(const CIDItem* source) override {
        CIDItem::CopyFrom(source);
        auto* s = static_cast<const NamedItem*>(source);
        m_strName = s->m_strName;
        m_nValue = s->m_nValue;
        return true;
    }
    CIDItem* NewInstance() const override { return new NamedItem; }
    std::wstring GetTypeName() const override { return L"NamedItem"; }

    std::wstring m_strName;
    int m_nValue = 0;
    static int s_alive;
    ~NamedItem() override { --s_alive; }
    void* operator new(size_t n) {
        ++s_alive;
        return ::operator new(n);
    }
    void operator delete(void* p) { ::operator delete(p); }
};
int NamedItem::s_alive = 0;

std::vector<int> Ids(const CItemList& list) {
    std::vector<int> ids;
    for (int i = 0; i < list.GetSize(); ++i)
        ids.push_back(list.GetAt(i)->m_nID);
    return ids;
}

std::vector<std::wstring> Names(const CItemList& list) {
    std::vector<std::wstring> names;
    for (int i = 0; i < list.GetSize(); ++i)
        names.push_back(list.GetAt(i)->GetName());
    return names;
}

TEST(ItemListAdd, NewItemsGetLargestPlusOneAndFreedNumbersAreReusedOnlyAtTheTop) {
    CItemList list;
    for (int i = 0; i < 3; ++i)
        list.Add(new NamedItem(L"x", i));
    EXPECT_EQ(Ids(list), (std::vector<int>{1, 2, 3}));
    ASSERT_TRUE(list.RemoveByID(2));
    list.Add(new NamedItem(L"y", 0));
    EXPECT_EQ(Ids(list), (std::vector<int>{1, 3, 4}));
    ASSERT_TRUE(list.RemoveByID(3));
    ASSERT_TRUE(list.RemoveByID(4));
    list.Add(new NamedItem(L"z", 0));
    EXPECT_EQ(Ids(list), (std::vector<int>{1, 2}));
}

TEST(ItemListAdd, FreeIdentifierIsKeptAndTakenOneIsReplaced) {
    CItemList list;
    list.Add(new NamedItem(L"a", 0));
    list.Add(new NamedItem(L"b", 0, 3));
    list.Add(new NamedItem(L"c", 0, 7));
    list.Add(new NamedItem(L"d", 0));
    EXPECT_EQ(Ids(list), (std::vector<int>{1, 3, 7, 8}));
    // 3 is taken: the item gets max + 1 although 2 is free.
    list.Add(new NamedItem(L"e", 0, 3));
    EXPECT_EQ(list.GetAt(4)->m_nID, 9);
    // 0 is a free, non-negative identifier and is kept.
    list.Add(new NamedItem(L"f", 0, 0));
    EXPECT_EQ(list.GetAt(5)->m_nID, 0);
}

TEST(ItemListAdd, MaxIdIsAtLeastZero) {
    CItemList list;
    EXPECT_EQ(list.GetMaxID(), 0);
    auto* item = new NamedItem(L"a", 0);
    list.m_arItems.push_back(item); // stored with -1, as a list read raw could hold
    EXPECT_EQ(list.GetMaxID(), 0);
    list.Add(nullptr);
    EXPECT_EQ(list.GetSize(), 1);
}

TEST(ItemListLookup, FindsByIdAndExactNameFromTheFront) {
    CItemList list;
    list.Add(new NamedItem(L"Red", 1));
    list.Add(new NamedItem(L"Blue", 2));
    list.Add(new NamedItem(L"Red", 3));
    EXPECT_EQ(static_cast<NamedItem*>(list.FindByName(L"Red"))->m_nValue, 1);
    EXPECT_EQ(list.FindByName(L"red"), nullptr);
    EXPECT_EQ(list.FindByName(L"Re"), nullptr);
    EXPECT_EQ(list.FindIndexByID(2), 1);
    EXPECT_EQ(list.FindIndexByID(9), -1);
    EXPECT_EQ(list.FindByID(9), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    EXPECT_EQ(list.GetAt(3), nullptr);
    EXPECT_EQ(list.FindByIDAs<NamedItem>(3)->m_nValue, 3);
}

TEST(ItemListRemove, OutOfRangeChangesNothingAndRemovalDeletes) {
    const int before = NamedItem::s_alive;
    {
        CItemList list;
        list.Add(new NamedItem(L"a", 0));
        list.Add(new NamedItem(L"b", 0));
        EXPECT_FALSE(list.RemoveAt(-1));
        EXPECT_FALSE(list.RemoveAt(list.GetSize()));
        EXPECT_FALSE(list.RemoveByID(42));
        EXPECT_EQ(list.GetSize(), 2);
        EXPECT_TRUE(list.RemoveAt(0));
        EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"b"}));
        EXPECT_EQ(NamedItem::s_alive, before + 1);
        list.Add(new NamedItem(L"c", 0));
    }
    EXPECT_EQ(NamedItem::s_alive, before);
}

TEST(ItemListCopy, DeepCopyKeepsIdentifiersAndOrder) {
    CItemList source;
    source.Add(new NamedItem(L"a", 1, 5));
    source.Add(new NamedItem(L"b", 2, 2));
    CItemList target;
    target.Add(new NamedItem(L"old", 9));
    EXPECT_TRUE(target.Copy(source));
    EXPECT_EQ(Ids(target), (std::vector<int>{5, 2}));
    EXPECT_EQ(Names(target), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_NE(target.GetAt(0), source.GetAt(0));
    static_cast<NamedItem*>(target.GetAt(0))->m_nValue = 100;
    EXPECT_EQ(static_cast<NamedItem*>(source.GetAt(0))->m_nValue, 1);
    EXPECT_TRUE(target.Copy(target)); // onto itself: nothing is lost
    EXPECT_EQ(target.GetSize(), 2);
}

TEST(ItemListSyncByName, KeepsOwnItemsInFrontAndAppendsNewNamesInSourceOrder) {
    CItemList own;
    own.Add(new NamedItem(L"A", 5));
    own.Add(new NamedItem(L"B", 6));
    own.Add(new NamedItem(L"D", 7));
    CItemList source;
    source.Add(new NamedItem(L"B", 60));
    source.Add(new NamedItem(L"C", 70, 1));
    source.Add(new NamedItem(L"A", 50));
    source.Add(new NamedItem(L"E", 80, 2));
    own.SyncByName(source);
    EXPECT_EQ(Names(own), (std::vector<std::wstring>{L"A", L"B", L"C", L"E"}));
    EXPECT_EQ(static_cast<NamedItem*>(own.GetAt(0))->m_nValue, 5);
    EXPECT_EQ(static_cast<NamedItem*>(own.GetAt(1))->m_nValue, 6);
    EXPECT_EQ(static_cast<NamedItem*>(own.GetAt(2))->m_nValue, 70);
    // Kept items keep their identifiers; added ones get fresh numbers from this list.
    EXPECT_EQ(Ids(own), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(Names(source), (std::vector<std::wstring>{L"B", L"C", L"A", L"E"}));
}

} // namespace

namespace {

constexpr int kLargestId = std::numeric_limits<int>::max();

// The identifiers sequential `Add`s give, one at a time: what every bulk path must reproduce.
std::vector<int> IdsBySequentialAdd(const std::vector<int>& arriving) {
    CItemList list;
    for (int id : arriving)
        list.Add(new NamedItem(L"x", 0, id));
    return Ids(list);
}

} // namespace

TEST(ItemListAdd, AtTheLargestIdentifierANewItemIsRefusedInsteadOfGoingNegative) {
    CItemList list;
    ASSERT_TRUE(list.Add(new NamedItem(L"top", 0, kLargestId)));
    auto fresh = std::make_unique<NamedItem>(L"new", 1);
    EXPECT_FALSE(list.Add(fresh.get()));
    auto repeated = std::make_unique<NamedItem>(L"again", 2, kLargestId);
    EXPECT_FALSE(list.Add(repeated.get()));
    // Refused items stay the caller's, unchanged; the list is as it was.
    EXPECT_EQ(fresh->m_nID, -1);
    EXPECT_EQ(repeated->m_nID, kLargestId);
    EXPECT_EQ(Ids(list), (std::vector<int>{kLargestId}));
    // An item that brings a free identifier of its own is still taken.
    EXPECT_TRUE(list.Add(new NamedItem(L"free", 3, 5)));
    EXPECT_EQ(Ids(list), (std::vector<int>{kLargestId, 5}));
    EXPECT_FALSE(list.Add(nullptr));
}

TEST(ItemListAdd, BulkPathsRefuseWhereNoIdentifierIsLeft) {
    // A source list that repeats the largest identifier (only direct changes of the array can make one).
    CItemList source;
    source.m_arItems = {new NamedItem(L"a", 1, kLargestId), new NamedItem(L"b", 2, kLargestId),
                        new NamedItem(L"c", 3, 4)};
    CItemList copy;
    EXPECT_FALSE(copy.Copy(source));
    EXPECT_EQ(Ids(copy), (std::vector<int>{kLargestId, 4}));
    EXPECT_EQ(Names(copy), (std::vector<std::wstring>{L"a", L"c"}));

    CItemListTree structure;
    structure.CopyStructure(source);
    EXPECT_EQ(Ids(structure), (std::vector<int>{kLargestId, 4}));

    CItemList synced;
    synced.Add(new NamedItem(L"a", 9, kLargestId));
    EXPECT_FALSE(synced.SyncByName(source)); // "b" and "c" have no identifier left
    EXPECT_EQ(Names(synced), (std::vector<std::wstring>{L"a"}));

    CItemList appended;
    CItemListAppender appender(appended);
    EXPECT_TRUE(appender.Add(new NamedItem(L"a", 0, kLargestId)));
    auto refused = std::make_unique<NamedItem>(L"b", 0);
    EXPECT_FALSE(appender.Add(refused.get()));
    EXPECT_EQ(refused->m_nID, -1);
    EXPECT_EQ(Ids(appended), (std::vector<int>{kLargestId}));
}

TEST(ItemListCopy, RepeatedAndNegativeIdentifiersOfTheSourceAreRepairedAsAddRepairsThem) {
    const std::vector<int> arriving{3, 3, -1, 0, 0, 7, 2, 7, -5, 8};
    CItemList source;
    for (int id : arriving)
        source.m_arItems.push_back(new NamedItem(L"x", id, id)); // as damaged data would hold them
    CItemList copy;
    EXPECT_TRUE(copy.Copy(source));
    EXPECT_EQ(Ids(copy), IdsBySequentialAdd(arriving));
    EXPECT_EQ(Ids(copy), (std::vector<int>{3, 4, 5, 0, 6, 7, 2, 8, 9, 10}));
    CItemListTree structure;
    structure.CopyStructure(source);
    EXPECT_EQ(Ids(structure), IdsBySequentialAdd(arriving));
}

TEST(ItemListAppender, GivesTheIdentifiersSequentialAddsGive) {
    // Seeded random arrivals, including repeats, negatives and items already in the list.
    std::mt19937 rng(20240531);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        std::uniform_int_distribution<int> id(-2, 12), count(0, 12);
        std::vector<int> before(static_cast<size_t>(count(rng))), arriving(static_cast<size_t>(count(rng)));
        for (int& v : before)
            v = id(rng);
        for (int& v : arriving)
            v = id(rng);
        std::vector<int> all = before;
        all.insert(all.end(), arriving.begin(), arriving.end());

        CItemList list;
        for (int v : before)
            list.Add(new NamedItem(L"x", 0, v));
        CItemListAppender appender(list);
        for (int v : arriving)
            EXPECT_TRUE(appender.Add(new NamedItem(L"x", 0, v)));
        EXPECT_EQ(Ids(list), IdsBySequentialAdd(all));
    }
}
