#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "hostlib/variant.h"

using hostlib::Variant;

TEST(Variant, NullAndUnassignedAreDifferent) {
    EXPECT_TRUE(Variant::Null().IsNull());
    EXPECT_FALSE(Variant().IsNull());
    EXPECT_TRUE(Variant().IsUnassigned());
    // Unassigned converts to the zero of each type; Null does not convert at all.
    EXPECT_FALSE(Variant().ToBoolean());
    EXPECT_EQ(Variant().ToInt32(), 0);
    EXPECT_THROW(Variant::Null().ToBoolean(), hostlib::EVariantTypeCastError);
    EXPECT_THROW(Variant::Null().ToInt32(), hostlib::EVariantTypeCastError);
}

TEST(Variant, BooleanConversions) {
    EXPECT_TRUE(Variant(true).ToBoolean());
    EXPECT_TRUE(Variant(7).ToBoolean());
    EXPECT_FALSE(Variant(0).ToBoolean());
    EXPECT_TRUE(Variant("TRUE").ToBoolean());
    EXPECT_FALSE(Variant(" false ").ToBoolean());
    EXPECT_TRUE(Variant("-1").ToBoolean());
    EXPECT_FALSE(Variant("0").ToBoolean());
    EXPECT_THROW(Variant("sim").ToBoolean(), hostlib::EVariantTypeCastError);
    EXPECT_THROW(Variant("").ToBoolean(), hostlib::EVariantTypeCastError);
    EXPECT_THROW(Variant::Array({true}).ToBoolean(), hostlib::EVariantTypeCastError);
}

TEST(Variant, IntegerConversions) {
    EXPECT_EQ(Variant(true).ToInt32(), -1);  // the platform's True
    EXPECT_EQ(Variant(false).ToInt32(), 0);
    EXPECT_EQ(Variant(" 42 ").ToInt32(), 42);
    EXPECT_EQ(Variant("+7").ToInt32(), 7);
    EXPECT_EQ(Variant("-2147483648").ToInt32(), INT32_MIN);
    EXPECT_THROW(Variant("2147483648").ToInt32(), hostlib::EVariantOverflowError);
    EXPECT_THROW(Variant("99999999999999999999").ToInt32(), hostlib::EVariantOverflowError);
    EXPECT_THROW(Variant("12abc").ToInt32(), hostlib::EVariantTypeCastError);
    EXPECT_THROW(Variant("1.5").ToInt32(), hostlib::EVariantTypeCastError);
    EXPECT_THROW(Variant("").ToInt32(), hostlib::EVariantTypeCastError);
}

TEST(Variant, ErrorsNameBothTypes) {
    try {
        Variant::Null().ToBoolean();
        FAIL() << "Null converted to Boolean";
    } catch (const hostlib::EVariantError& e) {
        EXPECT_STREQ(e.what(), "Não foi possível converter variante do tipo (Null) para o tipo (Boolean).");
    }
}

TEST(Variant, ArrayIndexing) {
    const Variant array = Variant::Array({true, 5});
    EXPECT_EQ(array.ElementCount(), 2u);
    EXPECT_TRUE(array[0].ToBoolean());
    EXPECT_EQ(array[1].ToInt32(), 5);
    EXPECT_THROW(array[2], hostlib::EVariantBadIndexError);
    EXPECT_THROW(Variant(1)[0], hostlib::EVariantNotAnArrayError);
    EXPECT_THROW(Variant()[0], hostlib::EVariantNotAnArrayError);
}

TEST(Variant, ToStringOfScalars) {
    EXPECT_EQ(Variant(true).ToString(), "True");
    EXPECT_EQ(Variant(-3).ToString(), "-3");
    EXPECT_EQ(Variant().ToString(), "");
    EXPECT_THROW(Variant::Null().ToString(), hostlib::EVariantTypeCastError);
}
