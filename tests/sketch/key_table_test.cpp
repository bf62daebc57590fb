// Every key a sketch view takes, with the command numbers its frame
// understands: a wrong number here is a key that does something else.
#include "platform/messages.h"
#include "sketch/keys.h"

#include <gtest/gtest.h>

namespace {

struct key_case {
    int vk;
    bool ctrl;
    bool shift;
    int command;
};

TEST(SketchKeys, CtrlLettersPostTheirCommands) {
    const key_case table[] = {
        {'A', true, false, 315}, {'C', true, false, 489}, {'F', true, false, 360},
        {'G', true, false, 362}, {'H', true, false, 402}, {'I', true, false, 365},
        {'P', true, false, 488}, {'S', true, false, 487}, {'T', true, false, 531},
        {'U', true, false, 532}, {'V', true, false, 490}, {'W', true, false, 492},
        {'X', true, false, 491}, {'Y', true, false, 425}, {'Z', true, false, 424},
        {'Z', true, true, 425},
    };
    for (const key_case& k : table)
        EXPECT_EQ(sketch_key_command(k.vk, k.ctrl, k.shift, false), k.command)
            << "Ctrl+" << (k.shift ? "Shift+" : "") << static_cast<char>(k.vk);
}

// Ctrl+E, Ctrl+R and Ctrl+B are simulation actions (set-up, simulate,
// Livesweep), not frame commands.
TEST(SketchKeys, SimulationKeysAreActionsNotCommands) {
    EXPECT_EQ(sketch_key_command('E', true, false, false) - skc_sim_base, 0);
    EXPECT_EQ(sketch_key_command('R', true, false, false) - skc_sim_base, 1);
    EXPECT_EQ(sketch_key_command('B', true, false, false) - skc_sim_base, 3);
    // Plain B shows behaviour; plain E and R do nothing.
    EXPECT_EQ(sketch_key_command('B', false, false, false), 430);
    EXPECT_EQ(sketch_key_command('E', false, false, false), 0);
    EXPECT_EQ(sketch_key_command('R', false, false, false), 0);
}

TEST(SketchKeys, FunctionAndPageKeys) {
    EXPECT_EQ(sketch_key_command(VK_F5, false, false, false), 360);
    EXPECT_EQ(sketch_key_command(VK_F5, true, false, false), 361);
    EXPECT_EQ(sketch_key_command(VK_F3, false, false, false), 362);
    EXPECT_EQ(sketch_key_command(VK_NEXT, false, false, false), 328);
    EXPECT_EQ(sketch_key_command(VK_PRIOR, false, false, false), 327);
    EXPECT_EQ(sketch_key_command(VK_ESCAPE, false, false, false), skc_escape);
    EXPECT_EQ(sketch_key_command('H', false, false, false), 420);
    // Letters with no command, with or without Ctrl, are left to others.
    EXPECT_EQ(sketch_key_command('Q', true, false, false), 0);
    EXPECT_EQ(sketch_key_command('K', false, false, false), 0);
}

} // namespace
