// The edit journal's bookkeeping: differences, undo and redo, the history's bounds, merging and the view
// state stored with the template.

#include "editor/EditJournal.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

namespace {

std::string RandomBytes(std::mt19937& rng, size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng() & 0xFF);
    return bytes;
}

// An edit as the template sees one: a run of bytes replaced by a run of another length somewhere.
std::string Edit(std::mt19937& rng, const std::string& bytes) {
    std::string out = bytes;
    const size_t at = out.empty() ? 0 : rng() % out.size();
    const size_t erase = std::min<size_t>(out.size() - at, rng() % 300);
    out.replace(at, erase, RandomBytes(rng, rng() % 400));
    return out;
}

} // namespace

TEST(ByteDelta, RoundTripsEmptyIdenticalDisjointAndEditedBytes) {
    std::mt19937 rng(7);
    const std::string large = RandomBytes(rng, 200000);
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"", "abc"}, {"abc", ""}, {"same", "same"}, {large, large},
        {large, RandomBytes(rng, 5000)}, {large, "x" + large}, {large, large + "y"},
        {large, large.substr(0, 1000) + RandomBytes(rng, 77) + large.substr(1000)},
    };
    for (const auto& [from, to] : cases) {
        SCOPED_TRACE(std::to_string(from.size()) + " -> " + std::to_string(to.size()));
        CByteDelta delta = CByteDelta::Make(from, to);
        EXPECT_EQ(delta.Apply(from), to);
    }
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        std::string edited = Edit(rng, large);
        for (int k = 0; k < i % 4; ++k)
            edited = Edit(rng, edited);
        EXPECT_EQ(CByteDelta::Make(large, edited).Apply(large), edited);
        EXPECT_EQ(CByteDelta::Make(edited, large).Apply(edited), large);
    }
}

TEST(ByteDelta, KeepsOnlyWhatChangedWhenAnItemIsInsertedIntoALongList) {
    // A list whose count at its head changes and whose new item lands in the middle: the bytes around
    // both changes are copied, not kept.
    std::mt19937 rng(11);
    std::string items;
    for (int i = 0; i < 10000; ++i)
        items += RandomBytes(rng, 300);
    const std::string before = "HEAD" + std::string(1, '\x10') + items + "TAIL";
    const std::string after = "HEAD" + std::string(1, '\x11') + items.substr(0, 1500000) + RandomBytes(rng, 300) +
                              items.substr(1500000) + "TAIL";
    CByteDelta forward = CByteDelta::Make(before, after);
    CByteDelta backward = CByteDelta::Make(after, before);
    EXPECT_EQ(forward.Apply(before), after);
    EXPECT_EQ(backward.Apply(after), before);
    EXPECT_LT(forward.GetByteSize(), 20000u);
    EXPECT_LT(backward.GetByteSize(), 20000u);
}

TEST(ByteDelta, AppliedToOtherBytesItRefuses) {
    CByteDelta delta = CByteDelta::Make("abcdef", "abXdef");
    EXPECT_THROW(delta.Apply("abcdefg"), std::invalid_argument);
}

TEST(EditJournal, StepsUndoAndRedoGiveBackEveryStateAndANewStepDropsTheRedoBranch) {
    std::mt19937 rng(3);
    std::vector<std::string> states{RandomBytes(rng, 30000)};
    CEditJournal journal;
    std::string bytes;
    EXPECT_FALSE(journal.Undo(bytes));
    EXPECT_FALSE(journal.Redo(bytes));
    for (int i = 0; i < 20; ++i) {
        states.push_back(Edit(rng, states.back()));
        ASSERT_TRUE(journal.Record(L"step" + std::to_wstring(i), states[states.size() - 2], states.back()));
    }
    EXPECT_EQ(journal.GetUndoLabel(), L"step19");
    for (int i = 19; i >= 0; --i) {
        ASSERT_TRUE(journal.Undo(bytes));
        ASSERT_EQ(bytes, states[i]) << i;
    }
    EXPECT_FALSE(journal.Undo(bytes));
    EXPECT_EQ(journal.GetRedoLabel(), L"step0");
    for (int i = 1; i <= 20; ++i) {
        ASSERT_TRUE(journal.Redo(bytes));
        ASSERT_EQ(bytes, states[i]) << i;
    }
    EXPECT_FALSE(journal.Redo(bytes));

    // Back three steps, then a new one: the three are gone.
    for (int i = 0; i < 3; ++i)
        journal.Undo(bytes);
    const std::string branch = Edit(rng, bytes);
    ASSERT_TRUE(journal.Record(L"branch", bytes, branch));
    EXPECT_FALSE(journal.CanRedo());
    EXPECT_EQ(journal.GetStepCount(), 18u);
    ASSERT_TRUE(journal.Undo(bytes));
    EXPECT_EQ(bytes, states[17]);
}

TEST(EditJournal, AStepThatChangesNothingIsNotRecordedAndKeepsTheRedoBranch) {
    CEditJournal journal;
    ASSERT_TRUE(journal.Record(L"a", "one", "two"));
    std::string bytes;
    ASSERT_TRUE(journal.Undo(bytes));
    EXPECT_FALSE(journal.Record(L"nothing", "one", "one"));
    EXPECT_TRUE(journal.CanRedo());
    ASSERT_TRUE(journal.Redo(bytes));
    EXPECT_EQ(bytes, "two");
}

TEST(EditJournal, ViewStateChangedBetweenStepsIsFoldedIntoTheStepsAroundIt) {
    // The bytes a step begins with differ from those the previous step ended with (another small sheet
    // was shown): undo still gives the bytes of the moment each step began.
    CEditJournal journal;
    ASSERT_TRUE(journal.Record(L"a", "sheet0 items=1", "sheet0 items=2"));
    ASSERT_TRUE(journal.Record(L"b", "sheet4 items=2", "sheet4 items=3"));
    std::string bytes;
    ASSERT_TRUE(journal.Undo(bytes));
    EXPECT_EQ(bytes, "sheet4 items=2");
    ASSERT_TRUE(journal.Undo(bytes));
    EXPECT_EQ(bytes, "sheet0 items=1");
    // After undo the view moves again before a redo's next step: the redo branch is rebased, not broken.
    EXPECT_FALSE(journal.Record(L"none", "sheet2 items=1", "sheet2 items=1"));
    ASSERT_TRUE(journal.Redo(bytes));
    EXPECT_EQ(bytes, "sheet4 items=2");
    ASSERT_TRUE(journal.Undo(bytes));
    EXPECT_EQ(bytes, "sheet2 items=1");
}

TEST(EditJournal, NudgesOfOneShapeMergeUntilAnotherStepOrAnUndo) {
    CEditJournal journal;
    ASSERT_TRUE(journal.Record(L"draw", "x=0", "x=10"));
    ASSERT_TRUE(journal.Record(L"nudge", "x=10", "x=11", "nudge:1"));
    ASSERT_TRUE(journal.Record(L"nudge", "x=11", "x=12", "nudge:1"));
    ASSERT_TRUE(journal.Record(L"nudge", "x=12", "x=13", "nudge:1"));
    EXPECT_EQ(journal.GetStepCount(), 2u);
    ASSERT_TRUE(journal.Record(L"nudge", "x=13", "y=13", "nudge:2"));  // another shape: a new step
    EXPECT_EQ(journal.GetStepCount(), 3u);
    std::string bytes;
    ASSERT_TRUE(journal.Undo(bytes));
    ASSERT_TRUE(journal.Undo(bytes));
    EXPECT_EQ(bytes, "x=10");
    ASSERT_TRUE(journal.Redo(bytes));
    ASSERT_TRUE(journal.Record(L"nudge", "x=13", "x=14", "nudge:1"));  // after a redo: not merged
    EXPECT_EQ(journal.GetStepCount(), 3u);
    ASSERT_TRUE(journal.Undo(bytes));
    EXPECT_EQ(bytes, "x=13");
    // Nudges that come back where they started leave no step.
    CEditJournal back;
    ASSERT_TRUE(back.Record(L"nudge", "x=5", "x=6", "nudge:1"));
    ASSERT_TRUE(back.Record(L"nudge", "x=6", "x=5", "nudge:1"));
    EXPECT_EQ(back.GetStepCount(), 0u);
    EXPECT_FALSE(back.CanUndo());
}

TEST(EditJournal, TheOldestStepsGoWhenTheCountOrTheBytesRunOut) {
    std::mt19937 rng(5);
    CEditJournal journal({.nMaxSteps = 10, .nMaxBytes = 1u << 30});
    std::string state = RandomBytes(rng, 1000);
    for (int i = 0; i < 25; ++i) {
        std::string next = Edit(rng, state);
        journal.Record(L"s", state, next);
        state = next;
    }
    EXPECT_EQ(journal.GetStepCount(), 10u);
    std::string bytes;
    int undone = 0;
    while (journal.Undo(bytes))
        ++undone;
    EXPECT_EQ(undone, 10);

    CEditJournal small({.nMaxSteps = 1000, .nMaxBytes = 100000});
    state = RandomBytes(rng, 10000);
    for (int i = 0; i < 30; ++i) {
        std::string next = RandomBytes(rng, 10000);  // every step replaces everything: 20 kB of differences
        small.Record(L"s", state, next);
        state = next;
    }
    EXPECT_LE(small.GetStepCount(), 5u);
    EXPECT_GE(small.GetStepCount(), 1u);
    EXPECT_LT(small.GetByteSize(), 100000u + 3 * 10000u);
    EXPECT_EQ(small.GetState(), state);
}
