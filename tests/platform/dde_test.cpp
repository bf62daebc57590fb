// DDE within one process: the global atoms (case-insensitive, counted,
// reused), the packing of the messages' parameters, and the acknowledgement,
// data, poke and advise blocks, with atoms and global memory back at their
// baseline after every flow.
#include "platform/dde.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/messages.h"

namespace {

TEST(DdeAtoms, CaseInsensitiveCountedAndReused) {
    const std::size_t baseline = global_atom_count();
    const ATOM a = GlobalAddAtomA("Kavrel");
    ASSERT_GE(a, first_string_atom);
    EXPECT_EQ(GlobalAddAtomA("KAVREL"), a);
    EXPECT_EQ(GlobalFindAtomA("kavrel"), a);
    char name[64];
    EXPECT_EQ(GlobalGetAtomNameA(a, name, sizeof name), 6u);
    EXPECT_STREQ(name, "Kavrel"); // the spelling first added
    EXPECT_EQ(GlobalGetAtomNameA(a, name, 4), 3u);
    EXPECT_STREQ(name, "Kav");
    // Two adds, two deletes.
    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalFindAtomA("Kavrel"), a);
    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalFindAtomA("Kavrel"), 0);
    EXPECT_EQ(GlobalDeleteAtom(a), a); // no longer an atom
    EXPECT_EQ(GlobalGetAtomNameA(a, name, sizeof name), 0u);
    // A freed id is given again.
    const ATOM b = GlobalAddAtomA("System");
    EXPECT_EQ(b, a);
    EXPECT_EQ(GlobalDeleteAtom(b), 0);
    // Integer atoms and names that are none.
    EXPECT_EQ(GlobalAddAtomA("#12"), 12);
    EXPECT_EQ(GlobalGetAtomNameA(12, name, sizeof name), 3u);
    EXPECT_STREQ(name, "#12");
    EXPECT_EQ(GlobalDeleteAtom(12), 0);
    EXPECT_EQ(GlobalAddAtomA(""), 0);
    EXPECT_EQ(GlobalAddAtomA(nullptr), 0);
    EXPECT_EQ(GlobalAddAtomA(std::string(256, 'x').c_str()), 0);
    // Past the integer atoms "#49152" is a name like any other: kept and counted.
    const ATOM big = GlobalAddAtomA("#49152");
    EXPECT_GE(big, first_string_atom);
    EXPECT_EQ(global_atom_count(), baseline + 1);
    EXPECT_EQ(GlobalDeleteAtom(big), 0);
    EXPECT_EQ(global_atom_count(), baseline);
}

TEST(DdeParams, PackedUnpackedAndFreed) {
    const std::size_t blocks = global_live_blocks();
    UINT_PTR lo = 0, hi = 0;
    // ACK, DATA, POKE, ADVISE: a block holding both values.
    const LPARAM ack = PackDDElParam(WM_DDE_ACK, 0x8000, 0xC123);
    EXPECT_EQ(global_live_blocks(), blocks + 1);
    ASSERT_TRUE(UnpackDDElParam(WM_DDE_ACK, ack, &lo, &hi));
    EXPECT_EQ(lo, 0x8000u);
    EXPECT_EQ(hi, 0xC123u);
    // Reused for the answer: the old block goes, a new one comes.
    const LPARAM data = ReuseDDElParam(ack, WM_DDE_ACK, WM_DDE_DATA, 77, 0xC124);
    EXPECT_EQ(global_live_blocks(), blocks + 1);
    EXPECT_FALSE(UnpackDDElParam(WM_DDE_ACK, ack, &lo, &hi)); // stale
    ASSERT_TRUE(UnpackDDElParam(WM_DDE_DATA, data, &lo, &hi));
    EXPECT_EQ(lo, 77u);
    EXPECT_TRUE(FreeDDElParam(WM_DDE_DATA, data));
    EXPECT_EQ(global_live_blocks(), blocks);
    // INITIATE, REQUEST: two 16-bit values in the parameter itself.
    const LPARAM init = PackDDElParam(WM_DDE_INITIATE, 0xC001, 0xC002);
    ASSERT_TRUE(UnpackDDElParam(WM_DDE_INITIATE, init, &lo, &hi));
    EXPECT_EQ(lo, 0xC001u);
    EXPECT_EQ(hi, 0xC002u);
    // EXECUTE: the command handle itself.
    HGLOBAL cmd = global_from_bytes("[FileOpen(\"a.kmf\")]", 20);
    const LPARAM exec = PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(cmd));
    ASSERT_TRUE(UnpackDDElParam(WM_DDE_EXECUTE, exec, &lo, &hi));
    EXPECT_EQ(reinterpret_cast<HGLOBAL>(hi), cmd);
    EXPECT_EQ(GlobalFree(cmd), nullptr);
    EXPECT_EQ(global_live_blocks(), blocks);
}

TEST(DdeBlocks, AckDataPokeAndAdviseLayouts) {
    const std::size_t blocks = global_live_blocks();
    EXPECT_EQ(dde_ack_word({7, true, false}), 0x4007);
    EXPECT_EQ(dde_ack_word({0, false, true}), 0x8000);
    const dde_ack a = dde_ack_of(0x8012);
    EXPECT_TRUE(a.ack);
    EXPECT_FALSE(a.busy);
    EXPECT_EQ(a.app_code, 0x12);

    dde_block in;
    in.response = true;
    in.ack_req = true;
    in.format = 0xC0DE;
    in.value = std::string("12\t3\r\n\0x", 8);
    HGLOBAL h = make_dde_data(in);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(h), 12u);
    const auto* raw = static_cast<const unsigned char*>(GlobalLock(h));
    EXPECT_EQ(raw[1], 0x90); // response (bit 12) and ack requested (bit 15)
    GlobalUnlock(h);
    dde_block out;
    ASSERT_TRUE(read_dde_data(h, &out));
    EXPECT_TRUE(out.response && out.ack_req && !out.release);
    EXPECT_EQ(out.format, 0xC0DEu);
    EXPECT_EQ(out.value, in.value);
    GlobalFree(h);
    EXPECT_FALSE(read_dde_data(h, &out)); // stale

    dde_block poke;
    poke.release = true;
    poke.format = 1;
    poke.value = "hello";
    h = make_dde_poke(poke);
    ASSERT_TRUE(read_dde_poke(h, &out));
    EXPECT_TRUE(out.release);
    EXPECT_EQ(out.value, "hello");
    GlobalFree(h);

    dde_block advise;
    advise.defer = true;
    advise.format = 1;
    h = make_dde_advise(advise);
    EXPECT_EQ(GlobalSize(h), 4u);
    ASSERT_TRUE(read_dde_advise(h, &out));
    EXPECT_TRUE(out.defer && !out.ack_req);
    GlobalFree(h);

    // A block shorter than its header is not read.
    h = GlobalAlloc(GMEM_MOVEABLE, 3);
    EXPECT_FALSE(read_dde_data(h, &out));
    GlobalFree(h);
    EXPECT_EQ(global_live_blocks(), blocks);
}

} // namespace
