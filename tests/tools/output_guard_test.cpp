// The guard the tools write their files through, and each tool that writes
// one (the compiler, the cast converter, the music report, the scripts' CLI)
// refusing the same paths in the same words.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "module_probe.h"
#include "output_guard.h"

namespace {

namespace fs = std::filesystem;

std::string read(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The names in a folder, sorted, space-separated.
std::string names(const temp_dir &dir) {
    std::vector<std::string> all;
    for (const auto &e : fs::directory_iterator(dir.path()))
        all.push_back(e.path().filename().string());
    std::sort(all.begin(), all.end());
    std::string out;
    for (const std::string &n : all)
        out += n + " ";
    return out;
}

// A folder holding a FIFO, a folder, a symbolic link to a file, that file and
// a second name (hard link) of it.
struct odd_paths {
    temp_dir dir;
    odd_paths() {
        dir.write("file", "old");
        EXPECT_EQ(mkfifo(dir.path("fifo").c_str(), 0600), 0);
        fs::create_directory(dir.path("folder"));
        fs::create_symlink(dir.path("file"), dir.path("link"));
        fs::create_hard_link(dir.path("file"), dir.path("second"));
    }
    bool unchanged() const {
        return fs::is_fifo(dir.path("fifo")) && fs::is_directory(dir.path("folder")) &&
               fs::is_symlink(dir.path("link")) && read(dir.path("file")) == "old" &&
               names(dir) == "fifo file folder link second " && fs::is_character_file("/dev/null");
    }
};

TEST(OutputGuard, RefusesAllButARegularFileAndTheInputAndLeavesThemAsTheyWere) {
    odd_paths p;
    const struct {
        std::string path, message;
    } CASES[] = {
        {p.dir.path("fifo"), " is a FIFO; the output is written only as a regular file"},
        {p.dir.path("folder"), " is a folder; the output is written only as a regular file"},
        {p.dir.path("link"), " is a symbolic link; the output is written only as a regular file"},
        {"/dev/null", " is a device; the output is written only as a regular file"},
        {p.dir.path("second"),
         " is the input " + p.dir.path("link") + "; the output would overwrite it"},
    };
    for (const auto &c : CASES) {
        output_file out;
        std::string error;
        EXPECT_FALSE(out.open(c.path, error, {p.dir.path("link")}));
        EXPECT_EQ(error, c.path + c.message);
    }
    EXPECT_EQ(output_refusal(p.dir.path("folder"), {}, true), "");
    EXPECT_EQ(output_refusal(p.dir.path("file"), {}, true),
              p.dir.path("file") + " is a regular file; the output is written only as a folder");
    EXPECT_TRUE(p.unchanged());
}

TEST(OutputGuard, TheOldFileStaysUntilTheNewOneIsWholeAndKeepsItsMode) {
    temp_dir dir;
    const std::string path = dir.write("out", "old");
    chmod(path.c_str(), 0640);
    const bool root = geteuid() == 0;  // root also keeps the owner
    if (root) {
        ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
    }
    {
        output_file out;
        std::string error;
        ASSERT_TRUE(out.open(path, error)) << error;
        ASSERT_TRUE(out.write("half", 4, error));
        EXPECT_EQ(names(dir), fs::path(out.temp_path()).filename().string() + " out ");
    }  // given up: no commit
    EXPECT_EQ(read(path), "old");
    EXPECT_EQ(names(dir), "out ");

    output_file out;
    std::string error;
    ASSERT_TRUE(out.open(path, error) && out.write("new", 3, error) && out.commit(error)) << error;
    EXPECT_EQ(read(path), "new");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    if (root) {
        EXPECT_EQ(st.st_uid * 10000 + st.st_gid, 4321u * 10000 + 4322u);
    }
    EXPECT_EQ(names(dir), "out ");
}

TEST(OutputGuard, MovesAllOrNone) {
    temp_dir dir;
    dir.write("a", "old a");
    dir.write("a.new", "new a");
    dir.write("b.new", "new b");
    dir.write("c.new/page", "new page");
    dir.write("c/page", "old page");
    dir.write("e.new", "new e");
    fs::create_directory(dir.path("d"));
    std::string error;
    // a replaces a file, b is new, and a file cannot go where folder d is: nothing moves.
    EXPECT_FALSE(move_all_into_place({{dir.path("a.new"), dir.path("a")},
                                      {dir.path("b.new"), dir.path("b")},
                                      {dir.path("e.new"), dir.path("d")}},
                                     error));
    EXPECT_EQ(error, dir.path("d") + " is a folder; the output is written only as a regular file");
    EXPECT_EQ(read(dir.path("a")) + read(dir.path("a.new")), "old anew a");
    EXPECT_EQ(names(dir), "a a.new b.new c c.new d e.new ");
    // A folder replaces a folder, a file a file; what they replace is gone.
    ASSERT_TRUE(move_all_into_place({{dir.path("a.new"), dir.path("a")},
                                     {dir.path("b.new"), dir.path("b")},
                                     {dir.path("c.new"), dir.path("c")}},
                                    error))
        << error;
    EXPECT_EQ(read(dir.path("a")) + read(dir.path("b")) + read(dir.path("c/page")),
              "new anew bnew page");
    EXPECT_EQ(names(dir), "a b c d e.new ");
}

TEST(OutputGuard, ASignalTakesTheTemporaryAndTheChildWithIt) {
    temp_dir dir;
    const pid_t pid = fork();
    if (pid == 0) {
        remove_temporaries_on_signals();
        output_file out;
        std::string error;
        const pid_t sleeper = fork();
        if (sleeper == 0) {
            execlp("sleep", "sleep", "30", nullptr);
            _exit(127);
        }
        end_on_signals(sleeper);
        std::ofstream(dir.path("sleeper")) << sleeper;
        if (out.open(dir.path("out"), error))
            raise(SIGTERM);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(names(dir), "sleeper ");
    pid_t sleeper = 0;
    std::ifstream(dir.path("sleeper")) >> sleeper;
    ASSERT_GT(sleeper, 0);
    for (int i = 0; i < 200 && running(sleeper); i++)
        usleep(10000);
    EXPECT_FALSE(running(sleeper));
}

// Nothing is moved over itself (the old one would be removed with it), and
// what replaces a file or folder takes its mode, and for root its owner. An
// empty name takes no output.
TEST(OutputGuard, NothingMovesOverItselfAndAReplacementKeepsModeAndOwner) {
    odd_paths p;
    p.dir.write("pages/index.html", "page");
    for (const auto &[from, to] : {std::pair{p.dir.path("file"), p.dir.path("file")},
                                   {p.dir.path("file"), p.dir.path("second")},
                                   {p.dir.path("pages"), p.dir.path("pages/../pages")}}) {
        const child_result r = probe::run(PUT_IN_PLACE " " + from + " " + to);
        EXPECT_EQ(r.status, 1) << from;
        EXPECT_EQ(r.out, "cannot move " + from + " to " + to + ": they are the same file\n");
    }
    EXPECT_EQ(read(p.dir.path("file")) + read(p.dir.path("pages/index.html")), "oldpage");
    EXPECT_EQ(output_refusal(""), "an output needs a name; the name given is empty");
    EXPECT_EQ(probe::run(PUT_IN_PLACE " '' ''").out, "nothing to move: the name given is empty\n");

    const bool root = geteuid() == 0;
    chmod(p.dir.path("folder").c_str(), 0700);
    chmod(p.dir.path("file").c_str(), 0640);
    if (root) {
        ASSERT_EQ(chown(p.dir.path("folder").c_str(), 4321, 4322), 0);
        ASSERT_EQ(chown(p.dir.path("file").c_str(), 4321, 4322), 0);
    }
    p.dir.write("new.file", "new");
    chmod(p.dir.path("pages").c_str(), 0755);
    chmod(p.dir.path("new.file").c_str(), 0644);
    std::string error;
    ASSERT_TRUE(move_all_into_place(
        {{p.dir.path("pages"), p.dir.path("folder")}, {p.dir.path("new.file"), p.dir.path("file")}},
        error))
        << error;
    for (const std::string name : {"folder", "file"}) {
        struct stat st;
        ASSERT_EQ(stat(p.dir.path(name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, name == "file" ? 0640u : 0700u) << name;
        if (root) {
            EXPECT_EQ(st.st_uid * 10000 + st.st_gid, 4321u * 10000 + 4322u) << name;
        }
    }
    EXPECT_EQ(read(p.dir.path("folder/index.html")) + read(p.dir.path("file")), "pagenew");
}

// Each tool that writes a file, over each odd path and over its own input.
TEST(OutputGuard, EveryToolRefusesTheSameWay) {
    odd_paths p;
    const std::string score = p.dir.write("ok.score", "channels 1\npattern p 1\norder p\n"),
                      module = p.dir.path("ok.xm");
    ASSERT_EQ(probe::xmc(score, module).status, 0);
    const std::string cast = p.dir.write("full.cast", "{\"version\": 2}\n");
    const std::string report = MUSIC_REPORT " --wav ";
    for (const std::string out : {"fifo", "folder", "link", "/dev/null"}) {
        const std::string path = out[0] == '/' ? out : p.dir.path(out);
        for (const std::string &command :
             {XMC_BINARY " " + score + " " + path, CAST_COMPACT " " + cast + " " + path,
              report + path + " " + module, PUT_IN_PLACE " --check " + path}) {
            const child_result r = probe::run(command);
            EXPECT_EQ(r.status, 1) << command;
            EXPECT_NE(r.out.find(path + " is a"), std::string::npos) << command << "\n" << r.out;
        }
    }
    for (const std::string &command :
         {XMC_BINARY " " + score + " " + score, CAST_COMPACT " " + cast + " " + cast,
          report + module + " " + module}) {
        const child_result r = probe::run(command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.out.find(" is the input "), std::string::npos) << command << "\n" << r.out;
    }
    EXPECT_EQ(read(score), "channels 1\npattern p 1\norder p\n");
    EXPECT_EQ(read(cast), "{\"version\": 2}\n");
    EXPECT_TRUE(fs::is_fifo(p.dir.path("fifo")) && fs::is_symlink(p.dir.path("link")) &&
                fs::is_empty(p.dir.path("folder")) && fs::is_character_file("/dev/null"));
    EXPECT_EQ(names(p.dir), "fifo file folder full.cast link ok.score ok.xm second ");

    // The page maker writes its folder only over an earlier one.
    temp_dir rec;
    rec.write("demo.cast", "cast");
    rec.write("demo.mp4", "video");
    for (const fs::file_type kind :
         {fs::file_type::regular, fs::file_type::fifo, fs::file_type::symlink}) {
        fs::remove(rec.path("web"));
        if (kind == fs::file_type::regular)
            rec.write("web", "mine");
        else if (kind == fs::file_type::fifo)
            mkfifo(rec.path("web").c_str(), 0600);
        else
            fs::create_directory_symlink(p.dir.path("folder"), rec.path("web"));
        const child_result r =
            probe::run(MAKE_WEB " --cast-compact " CAST_COMPACT " " + rec.path().string());
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("make_web: " + rec.path("web") + " is a"), std::string::npos) << r.out;
        EXPECT_EQ(fs::symlink_status(rec.path("web")).type(), kind);
    }
    EXPECT_EQ(read(rec.path("demo.cast")), "cast");

    // The scripts' CLI puts a folder in a folder's place; a bad option is status 2.
    p.dir.write("new/index.html", "page");
    EXPECT_EQ(probe::run(PUT_IN_PLACE " " + p.dir.path("new") + " " + p.dir.path("folder")).status,
              0);
    EXPECT_EQ(read(p.dir.path("folder/index.html")), "page");
    EXPECT_EQ(probe::run(PUT_IN_PLACE " --nonsense x").status, 2);
}

}  // namespace
