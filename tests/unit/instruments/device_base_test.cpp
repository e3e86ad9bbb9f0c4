// The common model base: the input word, the range table and the model's
// way to the wire.
#include <gtest/gtest.h>

#include "device/kobface.h"
#include "framework/archive.h"
#include "instruments/device_base.h"
#include "support/comm_code.h"

namespace {

// A measuring model whose one change sends the input word.
class TestModel : public CMeasureBase {
public:
    using CMeasureBase::CMeasureBase;
    void Serialize(CArchive&) override {}
    void SendChanges() override {
        if (TakeChanged() & 1) {
            WriteWord(GetInputWord());
        }
    }
};

} // namespace

TEST(ModelBase, InputWordRangesAndTheWayToTheWire) {
    CKobface kobface;
    TestModel model(&kobface);
    EXPECT_EQ(model.MakeInputWord(0, 2, 14, 2), 0x0E00); // ground sets no bit
    EXPECT_EQ(model.MakeInputWord(3, 0, 5, 1), 0x8503);
    // Every row: the converter's top value is the row's full scale, 4 or 5
    // divisions of it.
    g_byModel = 2;
    for (uint32_t row = 0; row < kRangeCount; ++row) {
        EXPECT_DOUBLE_EQ(ScaleRaw(511, row), g_aRanges[row].fullScale) << row;
        EXPECT_DOUBLE_EQ(g_aRanges[row].fullScale / g_aRanges[row].division, row % 3 == 1 ? 4 : 5)
            << row;
    }
    EXPECT_EQ(ScaleRaw(511, 15), 0.0); // no such row
    // Without a line the model fails as a port that is not there.
    model.SetChanged(1);
    EXPECT_EQ(CodeOf([&] { model.SendChanges(); }), 20013u);
    EXPECT_EQ(CodeOf([] { TestModel(nullptr).WriteWord(1); }), 20013u);
}
