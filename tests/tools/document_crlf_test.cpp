// Comments typed on another system (CR LF line ends) document as the same
// lines as LF ones: no CR reaches the document.
#include <gtest/gtest.h>

#include <string>

#include "tests/tools/tools_fixture.h"
#include "tools/document.h"

namespace {

class DocumentCrLf : public ToolsTest {
protected:
    std::string doc(const char* line_end) {
        model_builder b("crlf");
        symbol_id g = b.group("people");
        symbol_id pop = b.level("Population", "births", "1000", "people");
        symbol_id births = b.aux("births", "Population * 0.03", "people/Year");
        b.in_group(pop, g).in_group(births, g);
        b.comment(pop, (std::string("How many") + line_end + "live here").c_str());
        b.comment(g, (std::string("Everyone") + line_end + "counted").c_str());
        make_current(b);
        document_options o;
        o.scope = 2;
        o.ordering = 2;
        o.cause_comments = 1;
        text_report(512, o.line_width, 0, report_none, 0, 0);
        document_model(o, find_symbol(".people"));
        return report_text();
    }
};

TEST_F(DocumentCrLf, CommentLinesLoseTheirCarriageReturns) {
    const std::string lf = doc("\n");
    const std::string crlf = doc("\r\n");
    EXPECT_EQ(crlf.find('\r'), std::string::npos) << crlf;
    EXPECT_EQ(crlf, lf);
    EXPECT_NE(crlf.find("\t\t\tHow many\n\t\t\tlive here\n"), std::string::npos) << crlf;
    EXPECT_NE(crlf.find("\t\tEveryone\n\t\tcounted\n"), std::string::npos) << crlf;
}

} // namespace
