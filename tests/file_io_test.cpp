// Saving and loading real setting files, and every way a save can fail without losing the file
// it replaces.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "files/setting_files.h"
#include "support/child_wait.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const Bytes kOldContent = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

ParameterBlock SampleBlock() {
  ParameterBlock block;
  block.FontCode = 13;
  block.XAdj = -999;
  block.CarriedAdj = 45;
  block.BlankSpaceLen = 99;
  std::memcpy(block.EuroCode, "D5\0\0", 4);
  return block;
}

Bytes Encoded(const ParameterBlock& block) {
  const ParameterFileBytes bytes = EncodeParameterBlock(block);
  return Bytes(bytes.begin(), bytes.end());
}

TEST(FileResultTest, DescribesTheOperationPathAndSystemError) {
  EXPECT_TRUE(FileResult().Ok());
  EXPECT_EQ(FileResult().Describe(), "");
  const FileResult failed = FileResult::Failure(FileOperation::kWrite, "/m/a.ts0", ENOSPC);
  EXPECT_FALSE(failed.Ok());
  EXPECT_EQ(failed.Describe(), "Could not write /m/a.ts0: No space left on device (errno 28)");
  // A failure whose cause was lost still reads as a failure.
  EXPECT_FALSE(FileResult::Failure(FileOperation::kFlush, "x", 0).Ok());

  const std::pair<FileOperation, const char*> names[] = {
      {FileOperation::kCreate, "create"}, {FileOperation::kOpen, "open"},
      {FileOperation::kRead, "read"},     {FileOperation::kWrite, "write"},
      {FileOperation::kFlush, "flush"},   {FileOperation::kRename, "rename"},
  };
  for (const auto& [operation, name] : names) EXPECT_STREQ(FileOperationName(operation), name);
}

TEST(SaveTest, NewFileHoldsExactlyTheLayoutAndOrdinaryPermissions) {
  TempDir dir;
  const mode_t old_mask = ::umask(022);
  const FileResult result = SaveParameterFile(dir / "a.ts0", SampleBlock());
  ::umask(old_mask);
  ASSERT_TRUE(result) << result.Describe();
  EXPECT_EQ(ReadBytes(dir / "a.ts0"), Encoded(SampleBlock()));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.ts0"});  // no temporary left behind
  struct stat status {};
  ASSERT_EQ(::stat((dir / "a.ts0").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
}

// Saved together, a new file waits for the one flush of the file system; a file that replaces
// another is still flushed before the rename, so the older one is never lost to a power cut.
TEST(SaveTest, FilesSavedTogetherAreFlushedAtOnceOnlyWhenTheyReplaceOne) {
  struct Case {
    Durability durability;
    bool existed;
    bool flushed_before_rename;
  };
  const Case cases[] = {{Durability::kAtOnce, false, true},
                        {Durability::kAtOnce, true, true},
                        {Durability::kTogether, false, false},
                        {Durability::kTogether, true, true}};
  for (const Case& c : cases) {
    TempDir dir;
    if (c.existed) WriteBytes(dir / "a.ts0", kOldContent);
    bool flushed = false;
    const FileResult result = SaveParameterFile(
        dir / "a.ts0", SampleBlock(),
        [&](ReplaceStage stage) { flushed = flushed || stage == ReplaceStage::kDataFlushed; },
        c.durability);
    ASSERT_TRUE(result) << result.Describe();
    EXPECT_EQ(flushed, c.flushed_before_rename) << c.existed;
    EXPECT_EQ(ReadBytes(dir / "a.ts0"), Encoded(SampleBlock()));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.ts0"});
    EXPECT_TRUE(FlushFileSystem(dir.path()));
  }
  TempDir dir;
  const FileResult missing = FlushFileSystem(dir / "none");
  EXPECT_EQ(missing.Operation(), FileOperation::kFlush);
  EXPECT_EQ(missing.ErrorNumber(), ENOENT);
  EXPECT_EQ(missing.Path(), dir / "none");
}

TEST(SaveTest, ReplacingKeepsThePermissionsAndFollowsSymbolicLinks) {
  TempDir dir;
  WriteBytes(dir / "old.ts1", kOldContent);
  ASSERT_EQ(::chmod((dir / "old.ts1").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("old.ts1", (dir / "link.ts1").c_str()), 0);

  LanSettings lan;
  lan.SocketPort = 9100;
  ASSERT_TRUE(SaveLanSettingsFile(dir / "link.ts1", lan));
  const LanSettingsFileBytes expected = EncodeLanSettings(lan);
  EXPECT_EQ(ReadBytes(dir / "old.ts1"), Bytes(expected.begin(), expected.end()));
  struct stat status {};
  ASSERT_EQ(::lstat((dir / "link.ts1").c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  ASSERT_EQ(::stat((dir / "old.ts1").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"link.ts1", "old.ts1"}));
}

TEST(SaveTest, EveryLevelOfALinkChainIsFollowed) {
  TempDir dir;
  ASSERT_EQ(::symlink("b.ts0", (dir / "a.ts0").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "missing.ts0").c_str(), (dir / "b.ts0").c_str()), 0);
  ASSERT_TRUE(SaveParameterFile(dir / "a.ts0", SampleBlock()));
  EXPECT_EQ(ReadBytes(dir / "missing.ts0"), Encoded(SampleBlock()));
  for (const char* link : {"a.ts0", "b.ts0"}) {
    struct stat status {};
    ASSERT_EQ(::lstat((dir / link).c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << link;
  }
  // A chain that never ends is refused and creates nothing.
  ASSERT_EQ(::symlink("loop.ts0", (dir / "loop.ts0").c_str()), 0);
  const FileResult loop = SaveParameterFile(dir / "loop.ts0", SampleBlock());
  EXPECT_EQ(loop.ErrorNumber(), ELOOP);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.ts0", "b.ts0", "loop.ts0", "missing.ts0"}));
}

TEST(SaveTest, DevicesAndFifosAreWrittenNotReplaced) {
  // Renaming over /dev/null as root would put a regular file in its place.
  ASSERT_TRUE(SaveParameterFile("/dev/null", SampleBlock()));
  struct stat status {};
  ASSERT_EQ(::stat("/dev/null", &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));

  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe.ts0").c_str(), 0600), 0);
  const FileResult no_reader = SaveParameterFile(dir / "pipe.ts0", SampleBlock());
  EXPECT_EQ(no_reader.Operation(), FileOperation::kCreate);
  EXPECT_EQ(no_reader.ErrorNumber(), ENXIO);  // nobody reads: fails at once instead of waiting
  ASSERT_EQ(::stat((dir / "pipe.ts0").c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST(SaveTest, NameAtTheLengthLimitCanBeSaved) {
  TempDir dir;
  const std::string name = std::string(251, 'n') + ".ts0";  // 255 bytes, the usual limit
  ASSERT_TRUE(SaveParameterFile(dir / name, SampleBlock()));
  EXPECT_EQ(ReadBytes(dir / name), Encoded(SampleBlock()));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{name});
}

TEST(SaveTest, RoundTripRestoresBothRecords) {
  TempDir dir;
  const ParameterBlock block = SampleBlock();
  ASSERT_TRUE(SaveParameterFile(dir / "p.ts0", block));
  ParameterBlock loaded;
  ASSERT_TRUE(LoadParameterFile(dir / "p.ts0", loaded));
  EXPECT_EQ(Encoded(loaded), Encoded(block));

  LanSettings lan;
  lan.LanFlag = 1;
  lan.IpAddress[0] = 300;  // not checked: carried as it is
  lan.SocketPortMode = 5;
  std::strcpy(lan.DhcpId, "ID-1");
  std::strcpy(lan.DhcpHostName, "host");
  ASSERT_TRUE(SaveLanSettingsFile(dir / "l.ts1", lan));
  LanSettings lan_loaded;
  ASSERT_TRUE(LoadLanSettingsFile(dir / "l.ts1", lan_loaded));
  EXPECT_EQ(EncodeLanSettings(lan_loaded), EncodeLanSettings(lan));
}

TEST(LoadTest, FailuresReportTheStepAndLeaveTheRecordAlone) {
  TempDir dir;
  ::mkdir((dir / "folder.ts0").c_str(), 0755);
  struct Case {
    std::string path;
    FileOperation operation;
    int error;
  };
  const Case cases[] = {
      {dir / "missing.ts0", FileOperation::kOpen, ENOENT},
      {dir / "folder.ts0", FileOperation::kRead, EISDIR},
      {dir / "missing/x.ts0", FileOperation::kOpen, ENOENT},
  };
  for (const Case& c : cases) {
    ParameterBlock block = SampleBlock();
    const FileResult result = LoadParameterFile(c.path, block);
    EXPECT_FALSE(result) << c.path;
    EXPECT_EQ(result.Operation(), c.operation) << c.path;
    EXPECT_EQ(result.ErrorNumber(), c.error) << c.path;
    EXPECT_EQ(result.Path(), c.path);
    EXPECT_NE(result.Describe().find(std::strerror(c.error)), std::string::npos);
    EXPECT_EQ(Encoded(block), Encoded(SampleBlock()));

    LanSettings lan;
    lan.SocketPort = 1234;
    EXPECT_FALSE(LoadLanSettingsFile(c.path, lan));
    EXPECT_EQ(lan.SocketPort, 1234);
  }
}

TEST(LoadTest, FifoWithoutWriterDoesNotBlock) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe.ts1").c_str(), 0600), 0);
  LanSettings lan;
  lan.SocketPort = 1234;
  EXPECT_FALSE(LoadLanSettingsFile(dir / "pipe.ts1", lan));  // refused: not a regular file
  EXPECT_EQ(lan.SocketPort, 1234);
}

TEST(LoadTest, OnlyRegularFilesAreLoadedShortOnesStillLeniently) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe.ts0").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((dir / "folder.ts0").c_str(), 0755), 0);
  WriteBytes(dir / "empty.ts0", {});
  WriteBytes(dir / "short.ts0", {7, 0, 0, 0});
  struct Case {
    std::string path;
    bool loads;
    std::int32_t font_code;  // what the record holds afterwards
  };
  const Case cases[] = {
      {dir / "pipe.ts0", false, 13}, {"/dev/zero", false, 13},     {dir / "folder.ts0", false, 13},
      {dir / "empty.ts0", true, 13}, {dir / "short.ts0", true, 7},
  };
  for (const Case& c : cases) {
    ParameterBlock block = SampleBlock();
    const FileResult result = LoadParameterFile(c.path, block);
    EXPECT_EQ(result.Ok(), c.loads) << c.path;
    if (!c.loads) {
      EXPECT_NE(result.Describe().find("not a regular file"), std::string::npos) << c.path;
    }
    EXPECT_EQ(std::int32_t{block.FontCode}, c.font_code) << c.path;
    EXPECT_EQ(std::int32_t{block.XAdj}, -999) << c.path;
  }
}

TEST(SaveTest, DirectoryOrMissingFolderIsReportedAndNothingChanges) {
  TempDir dir;
  ::mkdir((dir / "taken.ts0").c_str(), 0755);
  WriteBytes(dir / "taken.ts0/inside", kOldContent);

  FileResult result = SaveParameterFile(dir / "taken.ts0", SampleBlock());
  EXPECT_EQ(result.Operation(), FileOperation::kCreate);
  EXPECT_EQ(result.ErrorNumber(), EISDIR);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"taken.ts0"});
  EXPECT_EQ(ReadBytes(dir / "taken.ts0/inside"), kOldContent);

  result = SaveParameterFile(dir / "none/x.ts0", SampleBlock());
  EXPECT_EQ(result.Operation(), FileOperation::kCreate);
  EXPECT_EQ(result.ErrorNumber(), ENOENT);
  EXPECT_EQ(result.Path(), dir / "none/x.ts0");
}

// As the kernel's protected_symlinks rule: in a sticky folder that everyone may write to, a
// link is followed only when it belongs to the saving user or to the folder's owner. Anyone
// else's link there is refused and neither it nor the file it names changes.
TEST(SaveTest, LinksPlantedInSharedFoldersAreNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
  constexpr uid_t kOther = 54321;
  const struct {
    const char* what;
    mode_t folder_mode;
    uid_t folder_owner;
    uid_t link_owner;
    bool through_chain;  // reached from a link in an ordinary folder
    bool followed;
  } cases[] = {
      {"another user's link in a shared folder", 01777, 0, kOther, false, false},
      {"the same link reached through a chain", 01777, 0, kOther, true, false},
      {"the saving user's own link", 01777, kOther, 0, false, true},
      {"the folder owner's link", 01777, kOther, kOther, false, true},
      {"a folder everyone may write to, not sticky", 0777, 0, kOther, false, true},
      {"a sticky folder only its owner may write to", 01755, 0, kOther, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string shared = dir / "shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chown(shared.c_str(), c.folder_owner, 0), 0);
    ASSERT_EQ(::chmod(shared.c_str(), c.folder_mode), 0);
    WriteBytes(dir / "victim", kOldContent);
    const std::string link = shared + "/office.ts0";
    ASSERT_EQ(::symlink((dir / "victim").c_str(), link.c_str()), 0);
    if (::lchown(link.c_str(), c.link_owner, 0) != 0) GTEST_SKIP() << "lchown refused";
    std::string path = link;
    if (c.through_chain) {
      path = dir / "mine.ts0";
      ASSERT_EQ(::symlink(link.c_str(), path.c_str()), 0);
    }

    const FileResult result = SaveParameterFile(path, SampleBlock());
    EXPECT_EQ(result.Ok(), c.followed) << result.Describe();
    EXPECT_EQ(ReadBytes(dir / "victim"), c.followed ? Encoded(SampleBlock()) : kOldContent);
    struct stat status {};
    ASSERT_EQ(::lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(dir.Names(shared), std::vector<std::string>{"office.ts0"});
    if (!c.followed) {
      EXPECT_EQ(result.Operation(), FileOperation::kCreate);
      EXPECT_EQ(result.ErrorNumber(), EACCES);
      EXPECT_EQ(result.Path(), path);
      const std::string english = result.Describe();
      const std::string japanese = result.Describe(Language::kJapanese);
      EXPECT_NE(english.find(link + " is a symbolic link in a folder that everyone may write to"),
                std::string::npos)
          << english;
      EXPECT_NE(japanese.find(link + " は誰でも書き込めるフォルダー"), std::string::npos)
          << japanese;
      EXPECT_EQ(english.find('\n'), std::string::npos);
    }
  }
}

int OpenDescriptorCount() {
  int count = 0;
  DIR* fds = ::opendir("/proc/self/fd");
  while (::readdir(fds) != nullptr) ++count;
  ::closedir(fds);
  return count;
}

TEST(SaveTest, NoDescriptorOutlivesAnOperation) {
  TempDir dir;
  ::mkdir((dir / "d.ts0").c_str(), 0755);
  const int before = OpenDescriptorCount();
  ParameterBlock block;
  LanSettings lan;
  for (int i = 0; i < 20; ++i) {
    (void)SaveParameterFile(dir / "ok.ts0", block);
    (void)SaveParameterFile(dir / "d.ts0", block);
    (void)SaveLanSettingsFile(dir / "no/ok.ts1", lan);
    (void)LoadParameterFile(dir / "ok.ts0", block);
    (void)LoadParameterFile(dir / "d.ts0", block);
    (void)LoadLanSettingsFile(dir / "none.ts1", lan);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

// What a save in a child process reported, or why it could not run.
struct ChildSave {
  bool ran = false;
  bool skipped = false;
  FileOperation operation = FileOperation::kOpen;
  int error = 0;
};

constexpr int kCannotDropPrivileges = 77;

// Runs `prepare` then a parameter save to `path` in a forked child; `prepare` returning false
// ends the child with kCannotDropPrivileges.
ChildSave SaveInChild(const std::string& path, const std::function<bool()>& prepare) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    if (!prepare()) ::_exit(kCannotDropPrivileges);
    const FileResult result = SaveParameterFile(path, SampleBlock());
    const int message[2] = {static_cast<int>(result.Operation()), result.ErrorNumber()};
    const ssize_t ignored = ::write(report[1], message, sizeof message);
    ::_exit(ignored == sizeof message ? 0 : 1);
  }
  ::close(report[1]);
  int message[2] = {};
  const std::string got = testing::ReadToEnd(report[0], 30000);
  ::close(report[0]);
  const int status = testing::WaitChild(child, 10000);
  if (got.size() == sizeof message) std::memcpy(message, got.data(), sizeof message);
  ChildSave outcome;
  outcome.skipped = WIFEXITED(status) && WEXITSTATUS(status) == kCannotDropPrivileges;
  outcome.ran = got.size() == sizeof message && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  outcome.operation = static_cast<FileOperation>(message[0]);
  outcome.error = message[1];
  return outcome;
}

// Root writes anywhere: permission tests save in a child that becomes the unprivileged "nobody".
bool BecomeNobody() {
  if (::geteuid() != 0) return true;
  return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

TEST(SaveFailureTest, FolderWithoutWritePermissionKeepsTheOldFile) {
  TempDir dir;
  const std::string folder = dir / "locked";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  WriteBytes(folder + "/a.ts0", kOldContent);
  ASSERT_EQ(::chmod((folder + "/a.ts0").c_str(), 0666), 0);  // the file itself is writable
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

  const ChildSave outcome = SaveInChild(folder + "/a.ts0", BecomeNobody);
  if (outcome.skipped) GTEST_SKIP() << "cannot drop root privileges in this environment";
  ASSERT_TRUE(outcome.ran);
  EXPECT_EQ(outcome.operation, FileOperation::kCreate);
  EXPECT_EQ(outcome.error, EACCES);
  EXPECT_EQ(ReadBytes(folder + "/a.ts0"), kOldContent);
  EXPECT_EQ(dir.Names(folder), std::vector<std::string>{"a.ts0"});
}

TEST(SaveFailureTest, ReadOnlyFileInAWritableFolderIsNotReplaced) {
  TempDir dir;
  const std::string folder = dir / "mine";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  WriteBytes(folder + "/master.ts0", kOldContent);
  ASSERT_EQ(::chmod((folder + "/master.ts0").c_str(), 0444), 0);
  // The folder belongs to the unprivileged user who saves, so only the file's mode protects it.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown((folder + "/master.ts0").c_str(), 65534, 65534), 0);
  }
  const ChildSave outcome = SaveInChild(folder + "/master.ts0", BecomeNobody);
  if (outcome.skipped) GTEST_SKIP() << "cannot drop root privileges in this environment";
  ASSERT_TRUE(outcome.ran);
  EXPECT_EQ(outcome.operation, FileOperation::kCreate);
  EXPECT_EQ(outcome.error, EACCES);
  EXPECT_EQ(ReadBytes(folder + "/master.ts0"), kOldContent);
  EXPECT_EQ(dir.Names(folder), std::vector<std::string>{"master.ts0"});
}

TEST(SaveFailureTest, AFileWithoutWriteBitsIsNotReplacedEvenByRoot) {
  for (mode_t mode : {0444, 0400, 0500}) {
    TempDir dir;
    WriteBytes(dir / "master.ts0", kOldContent);
    ASSERT_EQ(::chmod((dir / "master.ts0").c_str(), mode), 0);
    const FileResult result = SaveParameterFile(dir / "master.ts0", SampleBlock());
    EXPECT_EQ(result.Operation(), FileOperation::kCreate) << mode;
    EXPECT_EQ(result.ErrorNumber(), EACCES) << mode;
    EXPECT_EQ(ReadBytes(dir / "master.ts0"), kOldContent) << mode;
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"master.ts0"});
  }
}

TEST(SaveFailureTest, FileSizeLimitFailsTheWriteInsteadOfEndingTheProgram) {
  TempDir dir;
  WriteBytes(dir / "a.ts0", kOldContent);
  const ChildSave outcome = SaveInChild(dir / "a.ts0", [] {
    ::signal(SIGXFSZ, SIG_DFL);  // the signal's default action ends the process
    const rlimit limit{50, 50};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  });
  ASSERT_TRUE(outcome.ran) << "the save ended the process";
  EXPECT_EQ(outcome.operation, FileOperation::kWrite);
  EXPECT_EQ(outcome.error, EFBIG);
  EXPECT_EQ(ReadBytes(dir / "a.ts0"), kOldContent);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.ts0"});
}

TEST(SaveFailureTest, FullDiskKeepsTheOldFileAndRemovesTheTemporary) {
  TempDir dir;
  WriteBytes(dir / "a.ts0", kOldContent);
  // A 50-byte file size limit stands for a disk that fills in the middle of the 92 bytes.
  const ChildSave outcome = SaveInChild(dir / "a.ts0", [] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{50, 50};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  });
  ASSERT_TRUE(outcome.ran);
  EXPECT_EQ(outcome.operation, FileOperation::kWrite);
  EXPECT_EQ(outcome.error, EFBIG);
  EXPECT_EQ(ReadBytes(dir / "a.ts0"), kOldContent);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.ts0"});
}

TEST(SaveFailureTest, ProcessKilledAtAnyPointOfTheSaveLeavesTheOldFileWhole) {
  for (ReplaceStage stage :
       {ReplaceStage::kTemporaryCreated, ReplaceStage::kDataWritten, ReplaceStage::kDataFlushed}) {
    TempDir dir;
    WriteBytes(dir / "a.ts0", kOldContent);
    int reached[2];
    ASSERT_EQ(::pipe2(reached, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(reached[0]);
      (void)SaveParameterFile(dir / "a.ts0", SampleBlock(), [&](ReplaceStage now) {
        if (now != stage) return;
        const char mark = 'k';
        if (::write(reached[1], &mark, 1) != 1) ::_exit(2);
        for (;;) ::pause();  // wait here to be killed
      });
      ::_exit(3);  // the stage was never reached
    }
    ::close(reached[1]);
    char mark = 0;
    pollfd p{reached[0], POLLIN, 0};
    const ssize_t got = ::poll(&p, 1, 30000) == 1 ? ::read(reached[0], &mark, 1) : 0;
    ::close(reached[0]);
    ::kill(child, SIGKILL);
    const int status = testing::WaitChild(child, 10000);
    ASSERT_EQ(got, 1) << "stage " << static_cast<int>(stage) << " not reached";
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadBytes(dir / "a.ts0"), kOldContent) << static_cast<int>(stage);

    // The next save goes through despite the temporary file the killed one left.
    ASSERT_TRUE(SaveParameterFile(dir / "a.ts0", SampleBlock()));
    EXPECT_EQ(ReadBytes(dir / "a.ts0"), Encoded(SampleBlock()));
  }
}

}  // namespace
}  // namespace krt6
