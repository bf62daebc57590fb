// Names and numbers as the model text writes them: a name a reader would
// change (blanks at either end, a backslash or quote inside) goes in quotes
// with its backslashes and quotes escaped, and a number is the shortest text
// that reads back as the very same float, up to the nine digits some floats
// need.
#include "model/varnames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

TEST(ModelTextNames, BlanksAtEitherEndAndEscapesAreKept) {
    EXPECT_EQ(model_text_name("Rate"), "Rate");
    // A blank at either end would be trimmed by a reader: quoted.
    EXPECT_EQ(model_text_name("Rate "), "\"Rate \"");
    EXPECT_EQ(model_text_name(" Rate"), "\" Rate\"");
    // Inside quotes a backslash is written doubled, as a quote is escaped.
    EXPECT_EQ(model_text_name("in\\out"), "\"in\\\\out\"");
    EXPECT_EQ(model_text_name("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(model_text_name(""), "\"\"");
}

TEST(ModelTextNumbers, TheShortestTextThatReadsBackAsTheSameFloat) {
    EXPECT_EQ(number_model_text(0.1f), "0.1");
    EXPECT_EQ(number_model_text(-2.5f), "-2.5");
    EXPECT_EQ(number_model_text(1e-5f), "1e-05");
    // These floats have no text of eight significant digits that reads back
    // as themselves: the ninth is written.
    const float nine[] = {108.484825f, 0.0101622315f, 1019.98737f, 0.000110360605f};
    for (float v : nine) {
        const std::string text = number_model_text(v);
        EXPECT_EQ(std::strtof(text.c_str(), nullptr), v) << text;
    }
    EXPECT_EQ(number_model_text(108.484825f), "108.484825");
    // The largest float and the next one after 1.
    for (float v : {3.40282347e38f, std::nextafter(1.0f, 2.0f), -1.17549435e-38f}) {
        const std::string text = number_model_text(v);
        EXPECT_EQ(std::strtof(text.c_str(), nullptr), v) << text;
    }
}

} // namespace
