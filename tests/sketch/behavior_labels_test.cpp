// A behaviour graph drawn with its labels (the larger graph of a tip): the
// variable's name over it and the run's start and end times under it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/context.h"
#include "model/model.h"
#include "platform/gdi.h"
#include "shell/menucmd.h"
#include "sim/livesweep.h"
#include "sketch/behave.h"
#include "tests/sketch/live_fixture.h"

namespace {

// The texts of the text records of an enhanced metafile, in order.
std::vector<std::string> metafile_texts(HENHMETAFILE emf) {
    std::vector<BYTE> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
    GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        if (at + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    std::vector<std::string> out;
    for (std::size_t at = 0; at + 8 <= bytes.size();) {
        const std::uint32_t type = u32(at), size = u32(at + 4);
        if (size < 8 || at + size > bytes.size()) break;
        if (type == 84 && size >= 76) { // a text record: its count and offset of UTF-16 text
            const std::uint32_t n = u32(at + 44), off = u32(at + 48);
            std::string s;
            for (std::uint32_t k = 0; k < n && off + 2 * k + 2 <= size; ++k)
                s += static_cast<char>(bytes[at + off + 2 * k]);
            out.push_back(s);
        }
        at += size;
    }
    return out;
}

class BehaviorLabels : public LiveSketch {};

TEST_F(BehaviorLabels, TheNameOverTheGraphAndTheRunsStartAndEndUnderIt) {
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_on);
    const std::int32_t slot = slot_of("Population");
    ASSERT_GE(slot, 0);
    // The sample runs from 0 to 200.
    ASSERT_EQ(model_rec->start, 0);
    ASSERT_EQ(model_rec->end, 200);
    HDC screen = GetDC(nullptr);
    const RECT frame{0, 0, 2000, 2000};
    HDC dc = CreateEnhMetaFile(screen, nullptr, &frame, nullptr);
    ASSERT_NE(dc, nullptr);
    draw_behavior_graph(dc, nullptr, slot, 0, 0, 300, 200, true);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(emf, nullptr);
    const std::vector<std::string> texts = metafile_texts(emf);
    DeleteEnhMetaFile(emf);
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(texts.front(), "Population");
    // The last two texts: the start time at the left, the end time at the right.
    EXPECT_EQ(texts[texts.size() - 2], "0");
    EXPECT_EQ(texts.back(), "200");
}

} // namespace
