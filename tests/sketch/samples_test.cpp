// The sample models' views load with every stored link accepted by the
// equations, and with their elements measured.
#include <string>

#include "sketch/views.h"
#include "tests/sketch/sketch_fixture.h"

namespace {

using SampleViews = SketchTest;

TEST_F(SampleViews, EveryStoredLinkOfTheSamplesIsKept) {
    for (const char* name : {"population", "inventory", "epidemic", "subscripted", "large"}) {
        SCOPED_TRACE(name);
        std::string path = std::string(KAVREL_BINARY_DIR) + "/samples/" + name + ".kmf";
        model_pair m = read_model_file(path.c_str());
        ASSERT_NE(m.symbols, 0u);
        int views = static_cast<int>(get_header_word(m.symbols, mh_view_count) & 0xFFFF);
        ASSERT_GE(views, 1);
        sketch_state st;
        st.symbols = m.symbols;
        st.header = m.header;
        int connectors_seen = 0;
        for (int v = 0; v < views; ++v) {
            handle vb = get_header_word(m.symbols, mh_views);
            int stored;
            {
                handle_lock<view_rec> recs(vb);
                stored = recs.get()[v].count;
            }
            ASSERT_EQ(load_view(st, v, 0, false, 0, false), v);
            int shared = st.view.count() - stored;
            for (int i = 1; i < stored; ++i) {
                const sketch_elem& e = st.view.elems[static_cast<std::size_t>(i + shared)];
                if (e.kind == ek_connector) ++connectors_seen;
                EXPECT_NE(e.kind, ek_deleted) << "view " << v << " element " << i;
                if (e.kind >= ek_variable) {
                    EXPECT_GT(e.w, 0);
                    EXPECT_GT(e.h, 0);
                }
            }
            // Nothing needed adding: the samples draw every cause they place.
            EXPECT_FALSE(st.layout_changed) << "view " << v;
            EXPECT_GT(st.max_x, st.min_x);
        }
        EXPECT_GT(connectors_seen, 0);
        st.view = working_view{};
        free_model(m.header, m.symbols);
    }
}

} // namespace
