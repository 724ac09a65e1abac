// The editor's document forgets every pointer into the template in one call: its own and those of every
// holder registered with it.

#include "editor/EditorDocument.h"

#include "datastruct/SysPara.h"
#include "geometry/MaskArea.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
struct CountingHolder : IModelPointerHolder {
    int forgotten = 0;
    CEditorDocument* doc = nullptr;
    IModelPointerHolder* removeOnForget = nullptr;
    void ForgetModelPointers() override {
        ++forgotten;
        if (doc && removeOnForget)
            doc->RemovePointerHolder(removeOnForget);
    }
};
} // namespace

TEST(EditorDocument, ForgetsItsOwnPointersAndTellsEachHolderOnce) {
    CEditorDocument doc;
    CPhaseMaskArea area;
    doc.SetSelShape(&area);
    doc.SetAssocSource(&area);
    doc.SetAssocKernel(4);
    doc.SetNoteHit(2);
    doc.SetKernelHit(3);
    doc.GetDrawing().SetPoints({{1, 1}, {5, 1}});
    doc.SetDrawing(true);
    CountingHolder first, second, third;
    first.doc = &doc;
    first.removeOnForget = &second;  // leaves while forgetting: the second is not told any more
    doc.AddPointerHolder(&first);
    doc.AddPointerHolder(&first);  // registered once only
    doc.AddPointerHolder(&second);
    doc.AddPointerHolder(&third);
    doc.ForgetModelPointers();
    EXPECT_EQ(doc.GetSelShape(), nullptr);
    EXPECT_EQ(doc.GetAssocSource(), nullptr);
    EXPECT_EQ(doc.GetAssocKernel(), -1);
    EXPECT_EQ(doc.GetNoteHit(), -1);
    EXPECT_EQ(doc.GetKernelHit(), -1);
    EXPECT_FALSE(doc.IsDrawing());
    EXPECT_EQ(doc.GetDrawing().GetPointCount(), 0);
    EXPECT_EQ(first.forgotten, 1);
    EXPECT_EQ(second.forgotten, 0);
    EXPECT_EQ(third.forgotten, 1);
    doc.RemovePointerHolder(&third);
    doc.ForgetModelPointers();
    EXPECT_EQ(first.forgotten, 2);
    EXPECT_EQ(third.forgotten, 1);
}

TEST(EditorDocument, OwnsTheSystemParametersItAdoptsAndNeverTheHosts) {
    CEditorDocument doc;
    auto first = std::make_unique<CSysPara>();
    doc.AdoptSysPara(std::move(first));
    auto second = std::make_unique<CSysPara>();
    CSysPara* secondRaw = second.get();
    doc.AdoptSysPara(std::move(second));  // the first is deleted (a leak under the sanitizer otherwise)
    EXPECT_EQ(doc.GetSysPara(), secondRaw);
    doc.DropOwnSysPara();
    EXPECT_EQ(doc.GetSysPara(), nullptr);
    CSysPara host;
    doc.SetSysPara(&host);
    doc.DropOwnSysPara();  // the host's stay in use
    EXPECT_EQ(doc.GetSysPara(), &host);
    doc.SetModified(true);
    EXPECT_TRUE(doc.IsModified());
}
