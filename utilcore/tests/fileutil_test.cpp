#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <list>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Convert.h"
#include "FileUtil.h"
#include "trace.h"

namespace {

std::u16string W(const std::string& s) { return Ansi2CString(s); }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Touch(const std::string& path, const std::string& content = "x") {
    std::ofstream(path, std::ios::binary) << content;
}

class FileUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/utilcore_fileutil_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root_ = pattern;
    }
    void TearDown() override {
        // Make everything writable again so the clean-up cannot trip over
        // the read-only files a test left behind.
        std::system(("chmod -R u+w '" + root_ + "' && rm -rf '" + root_ + "'").c_str());
    }
    std::string P(const std::string& rel) const { return root_ + "/" + rel; }
    std::string root_;
};

}  // namespace

TEST(Folders, BaseDirIsTheProgramsFolder) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    std::string path(exe, static_cast<size_t>(n));
    const std::u16string base = GetBaseDir();
    EXPECT_EQ(W(path.substr(0, path.rfind('/'))), base);
    ASSERT_FALSE(base.empty());
    EXPECT_NE(u'/', base.back());
    EXPECT_EQ(u"/", GetFileSeparator());
    EXPECT_EQ(base + u"/Projects", GetDataDir());
    EXPECT_EQ(base + u"/LumoLog", GetLogDir());
    EXPECT_NE(0, FileExists(base + GetFileSeparator() + W(path.substr(path.rfind('/') + 1))));
}

TEST_F(FileUtilTest, ExistsMakeDirAndReadOnly) {
    Touch(P("file"));
    EXPECT_NE(0, FileExists(W(root_)));
    EXPECT_NE(0, FileExists(W(P("file"))));
    EXPECT_EQ(0, FileExists(W(P("missing"))));
    EXPECT_EQ(0, FileExists(u""));

    EXPECT_EQ(1, MakeDir(W(P("d"))));
    EXPECT_EQ(1, MakeDir(W(P("d"))));  // already there
    EXPECT_EQ(0, MakeDir(W(P("no/parent"))));
    EXPECT_EQ(0, MakeDir(W(P("file"))));

    EXPECT_EQ(0, IsFileReadOnly(W(P("file"))));
    ASSERT_EQ(0, chmod(P("file").c_str(), 0444));
    EXPECT_EQ(1, IsFileReadOnly(W(P("file"))));  // by mode, even for root
    EXPECT_EQ(0, IsFileReadOnly(W(P("missing"))));
}

TEST_F(FileUtilTest, RemoveFile) {
    EXPECT_EQ(1, RemoveFile(W(P("missing"))));
    Touch(P("f"));
    EXPECT_EQ(1, RemoveFile(W(P("f/below"))));  // a file as parent: nothing there either
    EXPECT_NE(0, RemoveFile(W(P("f"))));
    EXPECT_EQ(0, FileExists(W(P("f"))));

    ASSERT_EQ(1, MakeDir(W(P("d"))));
    EXPECT_EQ(0, RemoveFile(W(P("d"))));
    EXPECT_NE(0, FileExists(W(P("d"))));

    Touch(P("ro"));
    chmod(P("ro").c_str(), 0444);
    EXPECT_EQ(0, RemoveFile(W(P("ro"))));
    EXPECT_NE(0, FileExists(W(P("ro"))));
}

TEST_F(FileUtilTest, DelDirRemovesNestedTreesAndReportsEachEntry) {
    mkdir(P("t").c_str(), 0755);
    mkdir(P("t/a").c_str(), 0755);
    mkdir(P("t/a/b").c_str(), 0755);
    mkdir(P("t/empty").c_str(), 0755);
    Touch(P("t/top.txt"));
    Touch(P("t/a/b/deep.txt"));
    // A link to a folder outside the tree is removed, never followed.
    mkdir(P("outside").c_str(), 0755);
    Touch(P("outside/keep.txt"));
    ASSERT_EQ(0, symlink(P("outside").c_str(), P("t/a/link").c_str()));

    std::vector<std::string> lines;
    auto previous = trace::SetSink([&](const char*, int, std::string_view text) { lines.emplace_back(text); });
    EXPECT_NE(0, DelDir(W(P("t"))));
    trace::SetSink(previous);

    EXPECT_EQ(0, FileExists(W(P("t"))));
    EXPECT_NE(0, FileExists(W(P("outside/keep.txt"))));
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("Deleting SubDir : " + P("t/a/b") + " \r\n"));
    EXPECT_TRUE(has("Deleting File : " + P("t/a/b/deep.txt") + " \r\n"));
    EXPECT_TRUE(has("Deleting File : " + P("t/a/link") + " \r\n"));
    EXPECT_EQ(6u, lines.size());

    EXPECT_EQ(0, DelDir(W(P("missing"))));
    Touch(P("plain"));
    EXPECT_EQ(0, DelDir(W(P("plain"))));
    EXPECT_NE(0, FileExists(W(P("plain"))));
}

TEST_F(FileUtilTest, DelDirStopsAtAReadOnlyFile) {
    mkdir(P("t").c_str(), 0755);
    mkdir(P("t/s").c_str(), 0755);
    Touch(P("t/s/locked"));
    chmod(P("t/s/locked").c_str(), 0444);
    EXPECT_EQ(0, DelDir(W(P("t"))));
    EXPECT_NE(0, FileExists(W(P("t/s/locked"))));
    EXPECT_NE(0, FileExists(W(P("t"))));
}

TEST_F(FileUtilTest, EnumAllFilesIsDepthFirstWithPathsAndBareFolderNames) {
    mkdir(P("s").c_str(), 0755);
    mkdir(P("s/t").c_str(), 0755);
    Touch(P("a.txt"));
    Touch(P("s/b.txt"));
    Touch(P("s/t/c.txt"));

    std::list<std::u16string> out{u"before"};
    EXPECT_TRUE(EnumAllFiles(W(root_), out));
    std::vector<std::u16string> v(out.begin(), out.end());
    ASSERT_EQ(6u, v.size());
    EXPECT_EQ(u"before", v[0]);
    // The listing order is the file system's; what must hold is that a folder's
    // bare name is followed directly by its own contents.
    const auto s = std::find(v.begin(), v.end(), u"s");
    ASSERT_NE(v.end(), s);
    const std::vector<std::u16string> sub(s, s + 4);
    const std::u16string b = W(P("s/b.txt")), t = u"t", c = W(P("s/t/c.txt"));
    const bool bFirst = sub == std::vector<std::u16string>{u"s", b, t, c};
    const bool tFirst = sub == std::vector<std::u16string>{u"s", t, c, b};
    EXPECT_TRUE(bFirst || tFirst);
    EXPECT_NE(v.end(), std::find(v.begin(), v.end(), W(P("a.txt"))));
    for (const auto& e : v) EXPECT_TRUE(e.find(u"/.") == std::u16string::npos && e != u"." && e != u"..");

    mkdir(P("empty").c_str(), 0755);
    std::list<std::u16string> none;
    EXPECT_FALSE(EnumAllFiles(W(P("empty")), none));
    EXPECT_FALSE(EnumAllFiles(W(P("missing")), none));
    std::list<std::u16string> some{u"x"};
    EXPECT_TRUE(EnumAllFiles(W(P("empty")), some));
}

TEST_F(FileUtilTest, EnumFilesListsProjectFilesOnly) {
    Touch(P("x.nelq"));
    Touch(P("y.txt"));
    Touch(P("z.nelq.bak"));
    mkdir(P("d.nelq").c_str(), 0755);
    Touch(P("d.nelq/inner.nelq"));
    std::list<std::u16string> out;
    EXPECT_TRUE(EnumFiles(W(root_), out));
    EXPECT_EQ((std::list<std::u16string>{u"x.nelq"}), out);
    std::list<std::u16string> none;
    EXPECT_FALSE(EnumFiles(W(P("d.nelq/none")), none));
    mkdir(P("e").c_str(), 0755);
    EXPECT_FALSE(EnumFiles(W(P("e")), none));
    // Nothing matching is a failure even when the list already holds names;
    // a matching folder alone is a search that found something.
    std::list<std::u16string> held{u"earlier"};
    Touch(P("e/note.txt"));
    EXPECT_FALSE(EnumFiles(W(P("e")), held));
    mkdir(P("e/sub.nelq").c_str(), 0755);
    EXPECT_TRUE(EnumFiles(W(P("e")), held));
    EXPECT_EQ((std::list<std::u16string>{u"earlier"}), held);
}

TEST_F(FileUtilTest, AppendAndWriteUseCrLfAndNarrowText) {
    EXPECT_EQ(1, AppendFile(W(P("log.txt")), u"a\n"));
    EXPECT_EQ(1, AppendFile(W(P("log.txt")), u"b"));
    EXPECT_EQ("a\r\nb", ReadAll(P("log.txt")));
    EXPECT_EQ(1, AppendFile(W(P("log.txt")), u"\u00E9\n\n"));
    EXPECT_EQ("a\r\nb\xC3\xA9\r\n\r\n", ReadAll(P("log.txt")));

    EXPECT_EQ(0, AppendFile(u"", u"x"));
    EXPECT_EQ(0, AppendFile(W(P("no/such/file")), u"x"));
    // A write that cannot land is a failure, not a success.
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(0, AppendFile(u"/dev/full", u"x"));
    }

    FILE* f = std::fopen(P("w.txt").c_str(), "w");
    ASSERT_NE(nullptr, f);
    WriteFile(f, u"x\ny");
    FlushFile(f);
    EXPECT_EQ("x\r\ny", ReadAll(P("w.txt")));
    CloseFile(f);
    WriteFile(nullptr, u"ignored");
    FlushFile(nullptr);
    CloseFile(nullptr);

    int size = 42;
    EXPECT_EQ(0, GetFileSize(W(P("w.txt")), size));
    EXPECT_EQ(42, size);
    DelLUMOLogs(W(root_), 1);
    EXPECT_NE(0, FileExists(W(P("w.txt"))));
}
