// The Tree Diagram's outline text (its copy beside the picture and its save
// as text): causes under the root, and for both sides the causes and then the
// uses, each under its own heading.
#include <gtest/gtest.h>

#include <string>

#include "tools/tree.h"

namespace {

tree_diagram two_sided() {
    tree_diagram t;
    t.title = "var: Tree Diagram";
    t.kind = 2;
    t.nodes.resize(6);
    t.nodes[0].name = "var";
    t.nodes[0].children = {2, 3};
    t.nodes[1].name = "var";
    t.nodes[1].children = {4};
    t.nodes[2].name = "cause one";
    t.nodes[2].children = {5};
    t.nodes[3].name = "cause two";
    t.nodes[4].name = "a use";
    t.nodes[5].name = "deeper";
    return t;
}

TEST(TreeOutline, BothSidesListTheCausesThenTheUses) {
    EXPECT_EQ(tree_text(two_sided()), "var: Tree Diagram\n"
                                      "Causes:\n"
                                      "    var\n"
                                      "        cause one\n"
                                      "            deeper\n"
                                      "        cause two\n"
                                      "Uses:\n"
                                      "    var\n"
                                      "        a use\n");
}

TEST(TreeOutline, OneSideIsTheRootAndItsBranches) {
    tree_diagram t = two_sided();
    t.kind = 0;
    t.nodes[0].children = {2, 3};
    EXPECT_EQ(tree_text(t), "var: Tree Diagram\n"
                            "var\n"
                            "    cause one\n"
                            "        deeper\n"
                            "    cause two\n");
    tree_diagram empty;
    empty.title = "nothing";
    EXPECT_EQ(tree_text(empty), "nothing\n");
}

} // namespace
