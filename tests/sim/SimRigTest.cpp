#include "sim/SimRig.h"

#include <gtest/gtest.h>

TEST(SimRig, DemoProgramsAreWithinTheSynthesizersRanges)
{
    SimDw8000 synth;
    TSimRig::LoadDemoPrograms(synth);
    for (int program = 0; program < SimDw8000::ProgramCount; ++program) {
        const SimDw8000::Patch patch = synth.ProgramPatch(program);
        for (int p = 0; p < SimDw8000::ParameterCount; ++p)
            EXPECT_LE(patch[std::size_t(p)], SimDw8000::ParameterMax(p)) << program << "/" << p;
    }
    EXPECT_NE(synth.ProgramPatch(0), synth.ProgramPatch(1));
}
