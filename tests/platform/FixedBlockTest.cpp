#include "platform/FixedBlock.h"

#include <gtest/gtest.h>

#include <cstdint>

using platform::FixedBlock;

TEST(FixedBlock, ZeroFilledAndFreedExactlyOnceByItsOwner)
{
    const long before = FixedBlock::LiveBlocks();
    {
        FixedBlock block = FixedBlock::Allocate(70000); // above 16 bits
        ASSERT_TRUE(block);
        const auto *bytes = static_cast<const std::uint8_t *>(block.Address());
        for (std::uint32_t i = 0; i < block.Size(); ++i)
            ASSERT_EQ(bytes[i], 0);
        FixedBlock moved = std::move(block);
        EXPECT_FALSE(block);
        EXPECT_EQ(FixedBlock::LiveBlocks(), before + 1);
        moved.Release();
        moved.Release();
        EXPECT_EQ(FixedBlock::LiveBlocks(), before);
    }
    EXPECT_EQ(FixedBlock::LiveBlocks(), before);
}

TEST(FixedBlock, InjectedFailuresSkipThenFail)
{
    FixedBlock::InjectAllocationFailures(1, 2);
    FixedBlock a = FixedBlock::Allocate(8);
    FixedBlock b = FixedBlock::Allocate(8);
    FixedBlock c = FixedBlock::Allocate(8);
    FixedBlock d = FixedBlock::Allocate(8);
    FixedBlock::InjectAllocationFailures(0, 0);
    EXPECT_TRUE(a);
    EXPECT_FALSE(b);
    EXPECT_FALSE(c);
    EXPECT_TRUE(d);
}
