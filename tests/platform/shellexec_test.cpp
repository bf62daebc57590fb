// Help and the shell: what is opened, and that programs need the user's consent.
#include "dlg_fixture.h"

#include "platform/shellexec.h"
#include "tests/driver/answerer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstdlib>

using namespace dlgtest;

namespace {

class ShellTest : public DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        shell_record_only(true);
        shell_clear_requests();
        answerer::install([this](const std::string& m) { failures.push_back(m); });
        dir = QString::fromStdString(::testing::TempDir()) +
              QStringLiteral("shell_%1/").arg(std::rand());
        QDir().mkpath(dir + "help/kavread");
    }
    void TearDown() override {
        answerer::uninstall();
        shell_record_only(false);
        DlgTest::TearDown();
    }
    void touch(const QString& path, bool exec = false) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
        if (exec) f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    std::string s(const QString& q) { return q.toStdString(); }
    QString dir;
    std::vector<std::string> failures;
};

TEST_F(ShellTest, HelpOpensTheHtmlIndexOrATopic) {
    touch(dir + "help/kavread/index.html");
    touch(dir + "help/kavread/topic42.html");
    std::string hlp = s(dir) + "help\\kavread.hlp"; // the program's own spelling
    EXPECT_TRUE(WinHelp(nullptr, hlp.c_str(), HELP_CONTENTS, 0));
    EXPECT_TRUE(WinHelp(nullptr, hlp.c_str(), HELP_CONTEXT, 42));
    EXPECT_TRUE(WinHelp(nullptr, hlp.c_str(), HELP_CONTEXT, 7)); // no such topic: the index
    ASSERT_EQ(shell_requests().size(), 3u);
    EXPECT_NE(shell_requests()[0].target.find("kavread/index.html"), std::string::npos);
    EXPECT_NE(shell_requests()[1].target.find("topic42.html"), std::string::npos);
    EXPECT_NE(shell_requests()[2].target.find("index.html"), std::string::npos);
    EXPECT_EQ(shell_requests()[0].kind, "help");
}

TEST_F(ShellTest, MissingHelpFailsWithAMessage) {
    std::string hlp = s(dir) + "help/readme.hlp";
    EXPECT_FALSE(WinHelp(nullptr, hlp.c_str(), HELP_CONTENTS, 0));
    EXPECT_NE(errors().back().find("readme"), std::string::npos);
    EXPECT_TRUE(shell_requests().empty());
}

TEST_F(ShellTest, WebPagesAndDocumentsOpenWithoutAsking) {
    EXPECT_GT(shell_result(ShellExecute(nullptr, "open", "https://example.org/releases?v=1.0",
                                        nullptr, nullptr, 1)),
              32);
    touch(dir + "model.kmf");
    EXPECT_GT(shell_result(ShellExecute(nullptr, nullptr, "model.kmf", nullptr, s(dir).c_str(), 1)),
              32);
    ASSERT_EQ(shell_requests().size(), 2u);
    EXPECT_EQ(shell_requests()[0].kind, "url");
    EXPECT_EQ(shell_requests()[1].kind, "document");
    EXPECT_TRUE(answerer::seen().empty()); // nothing was asked
    EXPECT_EQ(shell_result(ShellExecute(nullptr, "open", (s(dir) + "none.txt").c_str(), nullptr,
                                        nullptr, 1)),
              SE_ERR_FNF);
    EXPECT_EQ(shell_result(ShellExecute(nullptr, "print", "x", nullptr, nullptr, 1)),
              SE_ERR_NOASSOC);
    // "explore" opens a folder as "open" does, in any case of its letters;
    // a missing folder's parent missing too is a missing path.
    shell_clear_requests();
    EXPECT_GT(shell_result(ShellExecute(nullptr, "Explore", s(dir).c_str(), nullptr, nullptr, 1)),
              32);
    EXPECT_GT(shell_result(ShellExecute(nullptr, "OPEN", s(dir).c_str(), nullptr, nullptr, 1)), 32);
    ASSERT_EQ(shell_requests().size(), 2u);
    EXPECT_EQ(shell_requests()[0].kind, "document");
    EXPECT_EQ(shell_result(ShellExecute(nullptr, "explore", (s(dir) + "no/such/thing").c_str(),
                                        nullptr, nullptr, 1)),
              SE_ERR_PNF);
}

TEST_F(ShellTest, ProgramsStartOnlyWhenTheUserAgrees) {
    touch(dir + "tool.sh", true);
    std::string prog = s(dir) + "tool.sh";
    answerer::box("Start a program?").press(IDNO);
    EXPECT_EQ(shell_result(ShellExecute(nullptr, "open", prog.c_str(), "-x", nullptr, 1)),
              SE_ERR_ACCESSDENIED);
    EXPECT_TRUE(shell_requests().empty());
    answerer::box("Start a program?").text("tool.sh").press(IDYES);
    EXPECT_GT(shell_result(ShellExecute(nullptr, "open", prog.c_str(), "-x", nullptr, 1)), 32);
    ASSERT_EQ(shell_requests().size(), 1u);
    EXPECT_EQ(shell_requests()[0].kind, "program");
    EXPECT_EQ(shell_requests()[0].target, prog + " -x");
    EXPECT_TRUE(failures.empty());
}

} // namespace
