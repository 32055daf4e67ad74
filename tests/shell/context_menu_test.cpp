#include "shell/context_menu.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "shell/exec_line.h"
#include "support/test_host.h"

namespace quendra {
namespace {

// A registry in memory: keys with an optional default value; creating a key creates the keys
// above it. Keys named in failCreate cannot be created, writes to keys in failWrite fail.
class MemoryStore : public VerbStore {
 public:
  std::map<std::string, std::string> keys;  // key -> default value ("" when none was set)
  std::set<std::string> failCreate, failWrite;
  std::string open;
  int opens = 0, closes = 0;

  bool KeyExists(const std::string& key) override { return keys.count(key) != 0; }
  bool OpenOrCreateKey(const std::string& key) override {
    EXPECT_TRUE(open.empty()) << "one key open at a time";
    if (failCreate.count(key)) return false;
    for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
      keys.try_emplace(key.substr(0, at));
    keys.try_emplace(key);
    open = key;
    ++opens;
    return true;
  }
  bool WriteDefaultValue(const std::string& value) override {
    if (failWrite.count(open)) return false;
    keys[open] = value;
    return true;
  }
  void CloseKey() override {
    open.clear();
    ++closes;
  }
  bool DeleteTree(const std::string& key) override {
    if (!keys.erase(key)) return false;
    for (auto it = keys.lower_bound(key + "\\");
         it != keys.end() && it->first.rfind(key + "\\", 0) == 0;)
      it = keys.erase(it);
    return true;
  }
};

const std::string kExe = "/opt/my apps/quendra";
const std::string kCommand = "\"/opt/my apps/quendra\" %f";

struct ContextMenu : ::testing::Test {
  testing::Viewer v;
  MemoryStore store;
  ContextMenu() { v.form.SetVerbStore(&store, kExe); }
  std::string Caption() {
    v.form.TntPopupMenu1Popup();
    return v.form.Register1Caption;
  }
  void Click() {
    v.form.Guarded([&] { v.form.Register1Click(); });
  }
  bool Has(const std::string& key) { return store.keys.count(key) != 0; }
};

TEST_F(ContextMenu, FourCasesCaptionAndClickDependOnTheAllFilesVerbAlone) {
  struct Case {
    bool files, folders;
    const char* caption;
  } cases[] = {{true, true, "Remove from context menu"},
               {true, false, "Remove from context menu"},
               {false, false, "Add to context menu"},
               {false, true, "Add to context menu"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.files) + std::to_string(c.folders));
    store.keys.clear();
    store.keys["software\\classes\\*\\shell"] = "";
    store.keys["software\\classes\\Directory\\shell"] = "";
    if (c.files) {
      store.keys[kAllFilesVerbKey] = "Quendra";
      store.keys[kAllFilesCommandKey] = "old";
    }
    if (c.folders) {
      store.keys[kFolderVerbKey] = "Folder text";
      store.keys[kFolderCommandKey] = "old folder command";
    }
    EXPECT_EQ(Caption(), c.caption);
    Click();
    EXPECT_TRUE(v.host.messages.empty());
    EXPECT_TRUE(Has("software\\classes\\*\\shell"));  // the keys above the verb stay
    EXPECT_TRUE(Has("software\\classes\\Directory\\shell"));
    if (c.files) {
      for (const char* k :
           {kAllFilesVerbKey, kAllFilesCommandKey, kFolderVerbKey, kFolderCommandKey})
        EXPECT_FALSE(Has(k)) << k;
      EXPECT_EQ(Caption(), "Add to context menu");
    } else {
      EXPECT_EQ(store.keys[kAllFilesVerbKey], "Quendra");
      EXPECT_EQ(store.keys[kAllFilesCommandKey], kCommand);
      // A folder verb that was there is left exactly as it was.
      EXPECT_EQ(store.keys[kFolderVerbKey], c.folders ? "Folder text" : "Quendra");
      EXPECT_EQ(store.keys[kFolderCommandKey], c.folders ? "old folder command" : kCommand);
      EXPECT_EQ(Caption(), "Remove from context menu");
    }
    EXPECT_EQ(store.opens, store.closes);
  }
}

TEST_F(ContextMenu, FolderVerbAloneSurvivesRemoveAndAVerbWithoutCommandIsNotRepaired) {
  store.keys[kFolderVerbKey] = "Quendra";
  RemoveContextMenuEntry(store);
  EXPECT_TRUE(Has(kFolderVerbKey));

  store.keys[kAllFilesVerbKey] = "Quendra";  // no command below it
  EXPECT_EQ(Caption(), "Remove from context menu");
  AddContextMenuEntry(store, kExe);
  EXPECT_FALSE(Has(kAllFilesCommandKey));
}

TEST_F(ContextMenu, ClickAsksTheStoreAgainInsteadOfTrustingTheCaption) {
  EXPECT_EQ(Caption(), "Add to context menu");
  store.keys[kAllFilesVerbKey] = "Quendra";  // another program registered meanwhile
  Click();
  EXPECT_FALSE(Has(kAllFilesVerbKey));
  EXPECT_EQ(store.opens, 0);  // nothing was written
}

TEST_F(ContextMenu, KeyThatCannotBeCreatedIsSkippedSilently) {
  store.failCreate = {kAllFilesCommandKey, kFolderVerbKey};
  Click();
  EXPECT_TRUE(v.host.messages.empty());
  EXPECT_EQ(store.keys[kAllFilesVerbKey], "Quendra");
  EXPECT_FALSE(Has(kAllFilesCommandKey));
  EXPECT_EQ(store.keys[kFolderCommandKey], kCommand);  // later steps still run
  EXPECT_EQ(store.opens, store.closes);
}

TEST_F(ContextMenu, FailedWriteReportsAndEndsTheAddAtThatStep) {
  store.failWrite = {kAllFilesCommandKey};
  Click();
  ASSERT_EQ(v.host.messages.size(), 1u);
  EXPECT_EQ(v.host.messages[0].first, "Failed to set data for ''");
  EXPECT_EQ(v.host.messages[0].second, "Quendra");
  EXPECT_EQ(store.keys[kAllFilesVerbKey], "Quendra");  // what was written stays
  EXPECT_FALSE(Has(kFolderVerbKey));
  EXPECT_EQ(store.opens, store.closes);  // the key was closed on the way out
}

TEST(ExecLine, EveryPathSurvivesQuotingAndSplitting) {
  EXPECT_EQ(VerbCommandLine("/usr/bin/quendra"), "/usr/bin/quendra %f");
  EXPECT_EQ(QuoteExecArgument("/a b/\"q\" $x `y` \\z 100%"),
            "\"/a b/\\\"q\\\" \\$x \\`y\\` \\\\z 100%%\"");
  for (const std::string path : {"/usr/bin/quendra", "/opt/it's \"odd\" $HOME/`id` \\ q",
                                 "/tmp/tab\there/new\nline/q", "/x/100%f/q", "/x/~/#;&|<>*?()"}) {
    auto args = SplitExecLine(VerbCommandLine(path));
    ASSERT_EQ(args.size(), 2u) << path;
    std::string unpercented;
    for (size_t i = 0; i < args[0].size(); ++i) {
      unpercented += args[0][i];
      if (args[0][i] == '%') ++i;
    }
    EXPECT_EQ(unpercented, path);
    EXPECT_EQ(args[1], "%f");
  }
  EXPECT_THROW(SplitExecLine("\"/a b %f"), std::invalid_argument);
}

}  // namespace
}  // namespace quendra
