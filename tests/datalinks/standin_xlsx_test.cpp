// The stand-in's .xlsx: every number reads back to the same double (in our
// reader and in openpyxl), NaN, infinities and error cells go out as the
// format's error cells, names keep their spelling and their sheet, and a
// save keeps a read-only file, a replaced file's mode and the folder clean,
// naming the system's reason when the disk is full.
#include <sys/stat.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "datalinks/standin.h"
#include "datalinks/workbook.h"
#include "tests/common/fault_child.h"
#include "tests/common/packages.h"
#include "tests/datalinks/sheet_files.h"

using namespace sheets;

namespace {

// One sheet "Größe" of awkward numbers in row 1, texts and errors in row 2,
// a second sheet, and names: K on each sheet, "Größe" of the workbook.
workbook awkward_book() {
    workbook b;
    b.sheets.push_back({"Größe", {}});
    b.sheets.push_back({"B", {}});
    std::string why;
    const double numbers[] = {0.1 + 0.2, DBL_MAX, 1e-300, -0.0, 1234567.75, 5e-324};
    for (int c = 0; c < 6; ++c) b.put(0, 0, c, {cell_kind::number, 0, numbers[c]}, &why);
    b.put(0, 1, 0, {cell_kind::number, 0, std::numeric_limits<double>::quiet_NaN()}, &why);
    b.put(0, 1, 1, {cell_kind::number, 0, std::numeric_limits<double>::infinity()}, &why);
    b.put(0, 1, 2, {cell_kind::error, b.add_text("#DIV/0!"), 0}, &why);
    b.put(0, 1, 3, {cell_kind::text, b.add_text("a <b> & \"c\" Ωμέγα"), 0}, &why);
    b.put(0, 1, 4, {cell_kind::boolean, 0, 1}, &why);
    b.put(1, 0, 0, {cell_kind::number, 0, 7}, &why);
    named_range k0{0, 0, 0, 0, 0, 0, "K"}, k1{1, 0, 0, 0, 0, 1, "K"}, g{0, 0, 0, 0, 5, -1, "Größe"};
    b.add_name("K", k0);
    b.add_name("K", k1);
    b.add_name("Größe", g);
    return b;
}

TEST(StandinXlsx, NumbersErrorsAndNamesReadBackAsWritten) {
    temp_folder dir;
    const workbook b = awkward_book();
    std::string why;
    const std::string path = dir / "out.xlsx";
    ASSERT_TRUE(standin::write_xlsx(b, path, &why)) << why;
    workbook back;
    ASSERT_EQ(read_workbook(path, &back, &why), 1) << why;
    const sheet& s = back.sheets[0];
    EXPECT_EQ(s.name, "Größe");
    for (int c = 0; c < 6; ++c) {
        ASSERT_NE(s.at(0, c), nullptr);
        EXPECT_EQ(s.at(0, c)->number, b.sheets[0].rows[0][static_cast<std::size_t>(c)].number)
            << "column " << c;
    }
    EXPECT_EQ(s.at(1, 0)->kind, cell_kind::error);
    EXPECT_EQ(back.texts[s.at(1, 0)->text], "#N/A");
    EXPECT_EQ(back.texts[s.at(1, 1)->text], "#NUM!");
    EXPECT_EQ(back.texts[s.at(1, 2)->text], "#DIV/0!");
    EXPECT_EQ(back.texts[s.at(1, 3)->text], "a <b> & \"c\" Ωμέγα");
    EXPECT_EQ(s.at(1, 4)->kind, cell_kind::boolean);
    ASSERT_NE(back.find_name("k", 1), nullptr);
    EXPECT_EQ(back.find_name("k", 1)->sheet, 1);
    EXPECT_EQ(back.find_name("k", 0)->sheet, 0);
    ASSERT_NE(back.find_name("GRÖßE"), nullptr);
    EXPECT_EQ(back.find_name("GRÖßE")->spelled, "Größe");
    EXPECT_EQ(back.find_name("GRÖßE")->col1, 5);
}

TEST(StandinXlsx, OpenpyxlReadsTheSameValues) {
    ASSERT_EQ(packages_missing({"python3-openpyxl"}), "");
    temp_folder dir;
    std::string why;
    const std::string path = dir / "out.xlsx";
    ASSERT_TRUE(standin::write_xlsx(awkward_book(), path, &why)) << why;
    const std::string script = "import openpyxl\n"
                               "wb = openpyxl.load_workbook('" +
                               path +
                               "')\n"
                               "ws = wb.worksheets[0]\n"
                               "print(ws.title)\n"
                               "for c in ws[1]: print(repr(c.value))\n"
                               "for c in ws[2]: print(c.data_type, c.value)\n"
                               "print(sorted(n.name for n in wb.defined_names.definedName))\n"
                               "print(sorted((n.name, n.localSheetId) for s in [wb] for n in "
                               "s.defined_names.definedName))\n";
    write_bytes(dir / "read.py", script);
    ASSERT_EQ(std::system(("/usr/bin/python3 " + dir / "read.py > " + dir / "out.txt").c_str()), 0);
    const std::string out = file_bytes(dir / "out.txt");
    EXPECT_NE(out.find("Größe\n0.30000000000000004\n1.7976931348623157e+308\n1e-300\n0\n"
                       "1234567.75\n5e-324\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("e #N/A\ne #NUM!\ne #DIV/0!\ns a <b> & \"c\" Ωμέγα\nb True\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("'Größe'"), std::string::npos) << out;
}

TEST(StandinXlsx, ASaveKeepsAReadOnlyFileTheModeAndTheFolderClean) {
    temp_folder dir;
    std::string why;
    const workbook b = awkward_book();
    const std::string path = dir / "book.xlsx";
    ASSERT_TRUE(standin::write_xlsx(b, path, &why)) << why;
    // A replaced file keeps its mode.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(standin::write_xlsx(b, path, &why)) << why;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A read-only one is refused with the reason, and left as it was.
    const std::string before = file_bytes(path);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    workbook other;
    other.sheets.push_back({"x", {}});
    EXPECT_FALSE(standin::write_xlsx(other, path, &why));
    EXPECT_NE(why.find("read only"), std::string::npos) << why;
    EXPECT_EQ(file_bytes(path), before);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    // A full disk: the system's reason, the old file kept, no temporary left.
    int result = 0;
    const auto said = fault_child::under_size_limit(
        2000,
        [&] {
            std::string reason;
            const bool ok = standin::write_xlsx(b, path, &reason);
            return ok ? 1 : reason.find("File too large") != std::string::npos ? 2 : 3;
        },
        &result);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(file_bytes(path), before);
    // What a save killed midway leaves (its temporary, hidden beside the
    // workbook) goes with the next save in that folder.
    const std::string left =
        dir / (".book.xlsx.kvtmp" + std::to_string(fault_child::ended_pid()) + "-1").c_str();
    write_bytes(left, before.substr(0, before.size() / 2));
    ASSERT_TRUE(standin::write_xlsx(b, dir / "other.xlsx", &why)) << why;
    EXPECT_FALSE(std::filesystem::exists(left));
    std::filesystem::remove(dir / "other.xlsx");
    int files = 0;
    for (const auto& f : std::filesystem::directory_iterator(dir.path)) {
        ++files;
        EXPECT_EQ(f.path().filename(), "book.xlsx");
    }
    EXPECT_EQ(files, 1);
}

// What a killed save of an earlier version left ("book.xlsx.part<pid>", full
// size, beside the workbook) goes with the next save of that workbook when
// its writer is gone; a running writer's file, another workbook's, a name
// not exactly of that form and a folder of that name stay.
TEST(StandinXlsx, ASaveRemovesTheStalePartFilesOfEarlierVersions) {
    temp_folder dir;
    std::string why;
    const workbook b = awkward_book();
    const std::string path = dir / "book.xlsx";
    ASSERT_TRUE(standin::write_xlsx(b, path, &why)) << why;
    const std::string old = file_bytes(path);
    const std::string gone = std::to_string(fault_child::ended_pid());
    const std::string stale = dir / ("book.xlsx.part" + gone).c_str();
    const std::string own = dir / ("book.xlsx.part" + std::to_string(::getpid())).c_str();
    const std::string running = dir / "book.xlsx.part1";
    const std::string other_book = dir / ("other.xlsx.part" + gone).c_str();
    const std::string not_exact = dir / ("book.xlsx.part" + gone + "x").c_str();
    const std::string no_pid = dir / "book.xlsx.part";
    const std::string folder =
        dir / ("book.xlsx.part" + std::to_string(fault_child::ended_pid())).c_str();
    for (const std::string& f : {stale, own, running, other_book, not_exact, no_pid})
        write_bytes(f, old);
    ASSERT_TRUE(standin::write_xlsx(b, path, &why)) << why;
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_FALSE(std::filesystem::exists(own)) << "this version writes no such file";
    EXPECT_TRUE(std::filesystem::exists(running)) << "process 1 is running";
    EXPECT_TRUE(std::filesystem::exists(other_book));
    EXPECT_TRUE(std::filesystem::exists(not_exact));
    EXPECT_TRUE(std::filesystem::exists(no_pid));
    // A folder of that name is no file of ours to remove.
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    ASSERT_TRUE(standin::write_xlsx(b, path, &why)) << why;
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(standin::remove_stale_parts(path), 0);
    EXPECT_EQ(file_bytes(path), old);
}

} // namespace
