// The verb as file-manager action files in a private data folder. Every written command is
// expanded the way its file manager does it and run: the program (a copy of the fake
// application in a folder whose name holds blanks, quotes, '$', '\' and '%') must receive the
// chosen file's path, untouched, as its only argument.
#include "platform/linux/file_manager_actions.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "desktop/desktop_sandbox.h"
#include "support/temp_dir.h"

namespace quendra {
namespace {

namespace fs = std::filesystem;
using desktop::FileManagerActions;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Names in a folder, hidden ones (left-over temporaries) included.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

struct FileManagerActionsTest : ::testing::Test {
  testing::TempDir dir;
  std::string data = dir / "data";
  FileManagerActions store{data};
  std::string exe = "/opt/quendra/bin/quendra";

  std::vector<std::string> AllFiles() {
    auto files = store.FilesOf(false);
    auto folders = store.FilesOf(true);
    files.insert(files.end(), folders.begin(), folders.end());
    return files;
  }
};

TEST_F(FileManagerActionsTest, AddWritesEveryFileAndRemoveDeletesOnlyThem) {
  const std::vector<std::string> others = {
      data + "/kio/servicemenus/other.desktop", data + "/nemo/actions/other.nemo_action",
      data + "/file-manager/actions/other.desktop", data + "/nautilus/scripts/Other"};
  for (const auto& o : others) Write(o, "unrelated\n");
  EXPECT_FALSE(IsContextMenuRegistered(store));

  AddContextMenuEntry(store, exe);
  const std::vector<std::string> written = {
      data + "/kio/servicemenus/quendra-nailer-files.desktop",
      data + "/nemo/actions/quendra-nailer-files.nemo_action",
      data + "/file-manager/actions/quendra-nailer-files.desktop",
      data + "/nautilus/scripts/Quendra",
      data + "/kio/servicemenus/quendra-nailer-folders.desktop",
      data + "/nemo/actions/quendra-nailer-folders.nemo_action",
      data + "/file-manager/actions/quendra-nailer-folders.desktop"};
  EXPECT_EQ(AllFiles(), written);
  for (const auto& f : written) {
    struct stat st {};
    ASSERT_EQ(stat(f.c_str(), &st), 0) << f;
    const bool executable = f.find("/kio/") != std::string::npos || f.ends_with("/Quendra");
    EXPECT_EQ(st.st_mode & 0777, executable ? 0755u : 0644u) << f;
    EXPECT_NE(Read(f).find(f.ends_with("/Quendra") ? "exec '" + exe + "' \"$p\"" : "Name=Quendra"),
              std::string::npos)
        << f;
  }
  EXPECT_NE(Read(written[0]).find("MimeType=all/allfiles;"), std::string::npos);
  EXPECT_NE(Read(written[4]).find("MimeType=inode/directory;"), std::string::npos);
  EXPECT_NE(Read(written[1]).find("Extensions=nodirs;"), std::string::npos);
  EXPECT_NE(Read(written[5]).find("Extensions=dir;"), std::string::npos);
  EXPECT_EQ(Listing(data + "/nemo/actions"),
            (std::vector<std::string>{"other.nemo_action", "quendra-nailer-files.nemo_action",
                                      "quendra-nailer-folders.nemo_action"}));  // no temporaries
  EXPECT_TRUE(IsContextMenuRegistered(store));

  RemoveContextMenuEntry(store);
  for (const auto& f : written) EXPECT_FALSE(fs::exists(f)) << f;
  for (const auto& o : others) EXPECT_EQ(Read(o), "unrelated\n") << o;
  EXPECT_FALSE(IsContextMenuRegistered(store));
}

TEST(UserDataHome, IsAnAbsoluteXdgDataHomeOrElseTheHomesLocalShare) {
  const std::string xdg = std::getenv("XDG_DATA_HOME");  // the sandbox's
  EXPECT_EQ(FileManagerActions().FilesOf(false)[0],
            xdg + "/kio/servicemenus/quendra-nailer-files.desktop");
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", "/home/some one", 1);
  setenv("XDG_DATA_HOME", "relative/data", 1);  // not absolute: ignored
  EXPECT_EQ(desktop::UserDataHome(), "/home/some one/.local/share");
  setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  setenv("HOME", home.c_str(), 1);
}

TEST_F(FileManagerActionsTest, FolderEntryPresentIsLeftAloneUntilTheAllFilesVerbGoes) {
  const std::string mine = data + "/nemo/actions/quendra-nailer-folders.nemo_action";
  Write(mine, "[Nemo Action]\nName=Mine\n");
  RemoveContextMenuEntry(store);  // not registered: the folder entry stays
  EXPECT_TRUE(fs::exists(mine));

  AddContextMenuEntry(store, exe);
  EXPECT_TRUE(fs::exists(data + "/nemo/actions/quendra-nailer-files.nemo_action"));
  EXPECT_EQ(Read(mine), "[Nemo Action]\nName=Mine\n");
  EXPECT_FALSE(fs::exists(data + "/kio/servicemenus/quendra-nailer-folders.desktop"));

  RemoveContextMenuEntry(store);
  EXPECT_FALSE(fs::exists(mine));
}

TEST_F(FileManagerActionsTest, FileThatCannotBeCreatedIsSkippedAndAFailedWriteLeavesNothing) {
  Write(data + "/nemo", "a file where the folder would be\n");
  AddContextMenuEntry(store, exe);
  EXPECT_TRUE(IsContextMenuRegistered(store));
  EXPECT_TRUE(fs::exists(data + "/kio/servicemenus/quendra-nailer-files.desktop"));
  EXPECT_TRUE(fs::exists(data + "/nautilus/scripts/Quendra"));
  RemoveContextMenuEntry(store);

  // A write cut short by the file-size limit (which holds even for root), in a child process.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
      AddContextMenuEntry(store, exe);
    } catch (const std::runtime_error& e) {
      _exit(std::string(e.what()) == "Failed to set data for ''" ? 0 : 2);
    }
    _exit(1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(Listing(data + "/kio/servicemenus").empty());  // no partial file, no temporary
  EXPECT_FALSE(IsContextMenuRegistered(store));
}

// Field codes replaced as the file managers do: "%%" is a percent sign, `code` becomes the
// path. Desktop-entry launchers put the path in as one argument after splitting; Nemo, Caja and
// PCManFM put it in shell-quoted before splitting. Both must give the same argument vector.
std::vector<std::string> Expand(const std::string& exec, const std::string& code,
                                const std::string& path, bool quoteBeforeSplit) {
  std::string line;
  for (size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] == '%' && i + 1 < exec.size()) {
      const std::string token = exec.substr(i, 2);
      ++i;
      if (token == "%%") {
        line += quoteBeforeSplit ? "%" : "%%";
      } else if (token == code && quoteBeforeSplit) {
        gchar* quoted = g_shell_quote(path.c_str());
        line += quoted;
        g_free(quoted);
      } else {
        line += token;
      }
    } else {
      line += exec[i];
    }
  }
  gchar** argv = nullptr;
  GError* error = nullptr;
  std::vector<std::string> out;
  if (!g_shell_parse_argv(line.c_str(), nullptr, &argv, &error)) {
    ADD_FAILURE() << error->message << " in " << line;
    g_error_free(error);
    return out;
  }
  for (gchar** a = argv; *a; ++a) {
    std::string arg = *a;
    if (!quoteBeforeSplit) {
      if (arg == code) {
        arg = path;
      } else {
        for (size_t p = arg.find("%%"); p != std::string::npos; p = arg.find("%%", p + 1))
          arg.erase(p, 1);
      }
    }
    out.push_back(arg);
  }
  g_strfreev(argv);
  return out;
}

std::string KeyFileString(const std::string& file, const char* group, const char* key) {
  GKeyFile* kf = g_key_file_new();
  std::string value;
  if (g_key_file_load_from_file(kf, file.c_str(), G_KEY_FILE_NONE, nullptr)) {
    if (gchar* v = g_key_file_get_string(kf, group, key, nullptr)) {
      value = v;
      g_free(v);
    }
  }
  g_key_file_free(kf);
  return value;
}

// Runs argv in `folder` without a shell; returns what the fake application reported.
std::vector<std::string> RunReported(const std::vector<std::string>& argv,
                                     const std::string& folder, const std::string& log) {
  std::ofstream(log, std::ios::trunc).flush();
  std::vector<gchar*> args;
  for (const auto& a : argv) args.push_back(const_cast<gchar*>(a.c_str()));
  args.push_back(nullptr);
  gchar** env = g_get_environ();
  env = g_environ_setenv(env, "QUENDRA_FAKE_EDITOR_LOG", log.c_str(), TRUE);
  env = g_environ_setenv(env, "x", "EVALUATED", TRUE);  // would show if "$x" were expanded
  gint status = -1;
  GError* error = nullptr;
  const bool ran = g_spawn_sync(folder.c_str(), args.data(), env, G_SPAWN_DEFAULT, nullptr, nullptr,
                                nullptr, nullptr, &status, &error);
  g_strfreev(env);
  if (!ran) {
    ADD_FAILURE() << error->message;
    g_error_free(error);
    return {};
  }
  EXPECT_EQ(status, 0);
  std::vector<std::string> lines;
  std::istringstream in(Read(log));
  for (std::string l; std::getline(in, l);) lines.push_back(l.substr(l.find(' ') + 1));
  return lines;
}

TEST_F(FileManagerActionsTest, EveryWrittenCommandGetsExactlyThePathAsItsOnlyArgument) {
  const std::string bin = dir / "my apps \"q\" $HOME 'it' \\ 100%f `id`";
  fs::create_directories(bin);
  exe = bin + "/quendra viewer";
  fs::copy_file(testing::Sandbox().fakeEditor, exe);
  const std::string pictures = dir / "My Pictures";
  const std::string name = "it's \"odd\" $x.png";
  const std::string path = pictures + "/" + name;
  Write(path, "not really a picture");
  const std::string log = dir / "report";
  const std::vector<std::string> expected = {"started", "argv " + path};

  AddContextMenuEntry(store, exe);
  for (bool folders : {false, true}) {
    const std::string suffix = folders ? "folders" : "files";
    const std::string dolphin = data + "/kio/servicemenus/quendra-nailer-" + suffix + ".desktop";
    const std::string fma = data + "/file-manager/actions/quendra-nailer-" + suffix + ".desktop";
    const std::string nemo = data + "/nemo/actions/quendra-nailer-" + suffix + ".nemo_action";
    const std::string dolphinExec = KeyFileString(dolphin, "Desktop Action nailer", "Exec");
    const std::string fmaExec = KeyFileString(fma, "X-Action-Profile nailer", "Exec");
    const std::string nemoExec = KeyFileString(nemo, "Nemo Action", "Exec");
    for (bool quoteFirst : {false, true}) {
      SCOPED_TRACE(suffix + (quoteFirst ? " quoted before splitting" : " split first"));
      EXPECT_EQ(RunReported(Expand(dolphinExec, "%f", path, quoteFirst), pictures, log), expected);
      EXPECT_EQ(RunReported(Expand(fmaExec, "%f", path, quoteFirst), pictures, log), expected);
      EXPECT_EQ(RunReported(Expand(nemoExec, "%F", path, quoteFirst), pictures, log), expected);
    }
  }
  // Nautilus runs the script in the shown folder with the chosen name, or with a full path.
  const std::string script = data + "/nautilus/scripts/Quendra";
  EXPECT_EQ(RunReported({script, name}, pictures, log), expected);
  EXPECT_EQ(RunReported({script, path}, dir.Path(), log), expected);
}

}  // namespace
}  // namespace quendra
