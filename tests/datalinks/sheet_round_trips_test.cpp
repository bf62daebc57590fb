// Spreadsheet values a user saves and reads again: every error value the
// format knows keeps its text, a text with tabs and line ends keeps them, a
// sheet name at the format's limit is written and one past it is refused;
// and a semicolon file of one field with a decimal comma reads its number.
#include <string>

#include "datalinks/standin.h"
#include "datalinks/workbook.h"
#include "datalinks/zip_parts.h"
#include "tests/datalinks/sheet_files.h"

using namespace sheets;

namespace {

// The shared strings part of a saved workbook.
std::string xlsx_strings_part(const std::string& bytes) {
    std::vector<zip_part> parts;
    std::string why;
    if (!unzip_parts(bytes, &parts, &why)) return "unreadable: " + why;
    for (const zip_part& p : parts)
        if (p.name == "xl/sharedStrings.xml") return p.data;
    return "no shared strings";
}

TEST(SheetRoundTrips, EveryKnownErrorAndAnAwkwardTextReadBackAsSaved) {
    temp_folder dir;
    workbook b;
    b.sheets.push_back({"Errors", {}});
    std::string why;
    const char* errors[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};
    for (int c = 0; c < 7; ++c)
        ASSERT_TRUE(b.put(0, 0, c, {cell_kind::error, b.add_text(errors[c]), 0}, &why)) << why;
    // An error text the format does not know goes out as #N/A.
    ASSERT_TRUE(b.put(0, 0, 7, {cell_kind::error, b.add_text("#SPILL!"), 0}, &why)) << why;
    const std::string text = "a\tb\nc";
    ASSERT_TRUE(b.put(0, 1, 0, {cell_kind::text, b.add_text(text), 0}, &why)) << why;
    const std::string path = dir / "errors.xlsx";
    ASSERT_TRUE(standin::write_xlsx(b, path, &why)) << why;
    workbook back;
    ASSERT_EQ(read_workbook(path, &back, &why), 1) << why;
    ASSERT_EQ(back.sheets.size(), 1u);
    const sheet& s = back.sheets[0];
    for (int c = 0; c < 8; ++c) {
        const cell* x = s.at(0, c);
        ASSERT_NE(x, nullptr) << c;
        EXPECT_EQ(x->kind, cell_kind::error) << c;
        EXPECT_EQ(back.texts[x->text], c < 7 ? errors[c] : "#N/A") << c;
    }
    ASSERT_NE(s.at(1, 0), nullptr);
    ASSERT_EQ(s.at(1, 0)->kind, cell_kind::text);
    EXPECT_EQ(back.texts[s.at(1, 0)->text], text);
    // The tab is stored as itself: a tab is a character XML text may hold.
    const std::string raw = xlsx_strings_part(standin::xlsx_bytes(b, &why));
    EXPECT_NE(raw.find("a\tb\nc"), std::string::npos) << raw;
}

TEST(SheetRoundTrips, SheetNamesUpToThirtyOneCharactersAreWritten) {
    temp_folder dir;
    std::string why;
    const std::string longest(31, 's');
    for (const std::string& name : {longest, std::string("Größe-") + std::string(25, 'x')}) {
        workbook b;
        b.sheets.push_back({name, {}});
        ASSERT_TRUE(b.put(0, 0, 0, {cell_kind::number, 0, 4}, &why)) << why;
        const std::string path = dir / "named.xlsx";
        ASSERT_TRUE(standin::write_xlsx(b, path, &why)) << name << ": " << why;
        workbook back;
        ASSERT_EQ(read_workbook(path, &back, &why), 1) << why;
        ASSERT_EQ(back.sheets.size(), 1u);
        EXPECT_EQ(back.sheets[0].name, name);
    }
    workbook b;
    b.sheets.push_back({longest + "s", {}});
    why.clear();
    EXPECT_FALSE(standin::write_xlsx(b, dir / "long.xlsx", &why));
    EXPECT_NE(why.find("cannot be written"), std::string::npos) << why;
}

// The sheets' relationships may come in any order in the workbook's list:
// with eleven sheets, the one for rId1 comes after rId10 and rId11. Each
// sheet still reads its own numbers, to the last digit.
TEST(SheetRoundTrips, ElevenSheetsWhoseRelationshipsComeInAnyOrder) {
    workbook b;
    std::string why;
    for (int k = 0; k < 11; ++k) {
        b.sheets.push_back({"S" + std::to_string(k + 1), {}});
        // A number written with an exponent (set again from its text after
        // the import), different on each sheet.
        const double v = 3.7e37 * (k + 1);
        ASSERT_TRUE(b.put(k, 0, 0, {cell_kind::number, 0, v}, &why)) << why;
    }
    std::vector<zip_part> parts;
    ASSERT_TRUE(unzip_parts(standin::xlsx_bytes(b, &why), &parts, &why)) << why;
    bool turned = false;
    for (zip_part& p : parts) {
        if (p.name != "xl/_rels/workbook.xml.rels") continue;
        // The relationships, last first.
        const std::size_t first = p.data.find("<Relationship ");
        const std::size_t end = p.data.rfind("</Relationships>");
        ASSERT_NE(first, std::string::npos);
        ASSERT_NE(end, std::string::npos);
        std::vector<std::string> items;
        for (std::size_t at = first; at < end;) {
            const std::size_t close = p.data.find("/>", at);
            ASSERT_NE(close, std::string::npos);
            items.push_back(p.data.substr(at, close + 2 - at));
            at = close + 2;
        }
        std::string reversed;
        for (auto it = items.rbegin(); it != items.rend(); ++it) reversed += *it;
        p.data = p.data.substr(0, first) + reversed + p.data.substr(end);
        turned = true;
    }
    ASSERT_TRUE(turned);
    workbook back;
    ASSERT_EQ(read_workbook_bytes(zip_archive(parts, true), file_kind::xlsx, "", &back, &why), 1)
        << why;
    ASSERT_EQ(back.sheets.size(), 11u);
    for (int k = 0; k < 11; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(back.sheets[static_cast<std::size_t>(k)].name, "S" + std::to_string(k + 1));
        const cell* c = back.sheets[static_cast<std::size_t>(k)].at(0, 0);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->number, 3.7e37 * (k + 1));
    }
}

// One semicolon is enough to say the file is split by semicolons when its
// commas are all decimal commas.
TEST(SheetRoundTrips, ASingleSemicolonSplitsFieldsWithDecimalCommas) {
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook_bytes("Time;2,5\n", file_kind::csv, "s", &b, &why), 1) << why;
    const sheet& s = b.sheets[0];
    ASSERT_NE(s.at(0, 1), nullptr);
    EXPECT_EQ(s.at(0, 1)->kind, cell_kind::number);
    EXPECT_EQ(s.at(0, 1)->number, 2.5);
    // A comma between letters is no decimal comma: the file is split by commas.
    workbook c;
    ASSERT_EQ(read_workbook_bytes("a,b;c\n", file_kind::csv, "s", &c, &why), 1) << why;
    ASSERT_NE(c.sheets[0].at(0, 1), nullptr);
    EXPECT_EQ(c.texts[c.sheets[0].at(0, 1)->text], "b;c");
}

} // namespace
