// The common model base: change bits, the input word, scaling and the
// model's way to the wire.
#include <gtest/gtest.h>

#include "device/kobface.h"
#include "framework/archive.h"
#include "instruments/device_base.h"
#include "support/scripted_stream.h"

namespace {

// A small measuring model: one setting, one command per change bit.
class TestModel : public CMeasureBase {
public:
    using CMeasureBase::CMeasureBase;
    void Serialize(CArchive&) override {}
    void SendChanges() override {
        uint16_t bits = TakeChanged();
        if (bits & 1) {
            WriteWord(static_cast<uint16_t>(0xA000 | level));
        }
        if (bits & 2) {
            WriteWord(GetInputWord());
        }
    }
    void SetLevel(uint8_t value) {
        Lock();
        level = value;
        UnlockChanged(1);
    }
    uint8_t level = 0;
};

// A scope-like override: the base's GetInputWord must call it.
class OverridingModel : public TestModel {
public:
    using TestModel::TestModel;
    uint16_t MakeInputWord(uint32_t, uint32_t, uint32_t, uint32_t) override { return 0x1234; }
};

struct InputsAt {
    InputsAt(uint32_t ra, uint32_t ca, uint32_t rb, uint32_t cb) {
        g_nRangeA = ra;
        g_nCouplingA = ca;
        g_nRangeB = rb;
        g_nCouplingB = cb;
    }
    ~InputsAt() {
        g_nRangeA = 8;
        g_nCouplingA = 0;
        g_nRangeB = 8;
        g_nCouplingB = 0;
    }
};

struct ModelAt {
    explicit ModelAt(uint8_t m) : saved(g_byModel) { g_byModel = m; }
    ~ModelAt() { g_byModel = saved; }
    uint8_t saved;
};

} // namespace

TEST(ChangeBits, CollectUntilSentAndAValueSetTwiceIsSentOnceWithItsLastValue) {
    CKobface kobface;
    auto* stream = new ScriptedStream;
    kobface.SetStream(stream);
    TestModel model(&kobface);
    model.SetLevel(3);
    model.SetLevel(7);
    model.SetChanged(2);
    EXPECT_TRUE(stream->Written().empty()); // setters never send
    model.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0xA0, 0x07, 0x08, 0x08}));
    EXPECT_EQ(model.TakeChanged(), 0);
    stream->ClearWritten();
    model.SendChanges();
    EXPECT_TRUE(stream->Written().empty());
}

TEST(InputWord, RangesInTheLowAndHighByteCouplingOneSetsTheTopBit) {
    CKobface kobface;
    TestModel model(&kobface);
    EXPECT_EQ(model.MakeInputWord(0, 2, 14, 2), 0x0E00); // ground sets no bit
    EXPECT_EQ(model.MakeInputWord(3, 0, 5, 1), 0x8503);
    InputsAt in(2, 1, 12, 2);
    EXPECT_EQ(model.GetInputWord(), 0x0C82);
    OverridingModel scopeLike(&kobface);
    EXPECT_EQ(scopeLike.GetInputWord(), 0x1234);
}

TEST(Scaling, ConverterLimitsGiveFullScaleOnBothModels) {
    CKobface kobface;
    TestModel model(&kobface);
    InputsAt in(5, 0, 14, 0); // 5 V and 5000 V full scale
    {
        ModelAt m(1);
        EXPECT_DOUBLE_EQ(model.ScaleA(-128), -5.0);
        EXPECT_DOUBLE_EQ(model.ScaleA(127), 5.0);
        EXPECT_DOUBLE_EQ(model.ScaleA(0), 0.0);
        EXPECT_DOUBLE_EQ(model.ScaleB(-64), -2500.0);
        EXPECT_DOUBLE_EQ(model.ScaleB(63.5), 2500.0);
    }
    {
        ModelAt m(2);
        EXPECT_DOUBLE_EQ(model.ScaleA(511), 5.0);
        EXPECT_DOUBLE_EQ(model.ScaleA(-511), -5.0);
        EXPECT_DOUBLE_EQ(model.ScaleB(255.5), 2500.0);
    }
    // Every row: the converter's top value is the row's full scale.
    ModelAt m(2);
    for (uint32_t row = 0; row < kRangeCount; ++row) {
        EXPECT_DOUBLE_EQ(ScaleRaw(511, row), g_aRanges[row].fullScale) << row;
        EXPECT_DOUBLE_EQ(g_aRanges[row].fullScale / g_aRanges[row].division, row % 3 == 1 ? 4 : 5)
            << row;
    }
    EXPECT_EQ(ScaleRaw(511, 15), 0.0); // no such row
}

TEST(ModelWire, WithoutALineTheModelFailsAsAPortThatIsNotThere) {
    CKobface kobface;
    TestModel model(&kobface);
    model.SetLevel(1);
    try {
        model.SendChanges();
        FAIL() << "sent without a line";
    } catch (const CCommException& e) {
        EXPECT_EQ(e.m_nError, 20013u);
    }
    TestModel orphan(nullptr);
    EXPECT_THROW(orphan.WriteWord(1), CCommException);
}
