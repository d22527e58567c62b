// The real program ended at every message it posts, then run again: a first install, an upgrade
// of the same product and a complete uninstallation must each end with the machine an
// uninterrupted run leaves, and an install repaired this way must uninstall clean.
//
// A test debugger module (tests/fixtures/kill_switch_debugger_module.cpp) ends the program's
// process on its k-th message. An uninterrupted run counts the messages; then, for every k at
// a step boundary, the machine starts clean, the run is ended at k, run again without the
// kill, and the machine is compared with the uninterrupted result (support/machine_snapshot.h).
// TOLLIX_KILL_EVERY_MESSAGE=1 ends it at every message instead, the detail lines inside a step
// too (several times slower).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "support/bench.h"
#include "support/edition.h"
#include "support/machine_snapshot.h"
#include "support/ui.h"

namespace {

const DWORD kKilledExitCode = 0xDEAD;  // the kill switch's exit code
const char kInstallerExe[] = "TollixInstaller.exe";
const char kDialogTitle[] = "Toolbar Uninstallation";
const int kToolbarUninstall = 1018;   // keeps the user's data
const int kCompleteUninstall = 1019;  // deletes it
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme Toolbar";
const char kOlderProduct[] = "3.8.1.4";
const char kOlderRuntime[] = "3.8.1.0";
const char kNewerRuntime[] = "3.8.2.0";

// A message the program posted, as the kill switch wrote it down.
struct Message {
  int level = 0;
  std::string text;
  bool killed = false;
};

std::vector<Message> ReadMessages(const std::string& path) {
  std::vector<Message> messages;
  for (const std::string& line : ReadTextLines(path)) {
    const size_t first = line.find('\t');
    const size_t second = first == std::string::npos ? std::string::npos : line.find('\t', first + 1);
    if (second == std::string::npos) continue;
    Message message;
    message.level = atoi(line.c_str() + first + 1);
    message.text = line.substr(second + 1);
    const std::string killedMark = "\tkilled";
    if (message.text.size() >= killedMark.size() &&
        message.text.compare(message.text.size() - killedMark.size(), killedMark.size(), killedMark) == 0) {
      message.killed = true;
      message.text.erase(message.text.size() - killedMark.size());
    }
    messages.push_back(message);
  }
  return messages;
}

// The messages a table ends the program at. A step boundary is the first message, each step's
// announcement ("Installing ...", "Removing ...", "Registering the toolbar ..."), each step's
// "Success!" or "Failed!", the Add/Remove Programs entry's line and the last message; the lines
// between lie inside a step.
bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
bool IsStepBoundary(const std::vector<Message>& steps, size_t i) {
  const std::string& text = steps[i].text;
  return i == 0 || i + 1 == steps.size() || EndsWith(text, "...") || text == "Success!" || text == "Failed!" ||
         text.find("Add/Remove Programs entry") != std::string::npos;
}
std::vector<int> KillPoints(const std::vector<Message>& steps) {
  char every[8] = {};
  const bool all = GetEnvironmentVariableA("TOLLIX_KILL_EVERY_MESSAGE", every, sizeof every) > 0 && every[0] == '1';
  std::vector<int> points;
  for (size_t i = 0; i < steps.size(); ++i)
    if (all || IsStepBoundary(steps, i)) points.push_back(static_cast<int>(i) + 1);
  return points;
}

// Splits "\"<program>\" <arguments>" as the recorded uninstall command has it.
bool SplitCommand(const std::string& command, std::string* program, std::string* arguments) {
  if (command.size() < 2 || command[0] != '"') return false;
  const size_t close = command.find('"', 1);
  if (close == std::string::npos) return false;
  *program = command.substr(1, close - 1);
  *arguments = close + 2 <= command.size() ? command.substr(close + 2) : "";
  return true;
}

std::string UserDataFile() { return ShellFolder(CSIDL_APPDATA) + "Acme\\Acme Toolbar\\Bookmarks.xml"; }

class KillTable : public ::testing::Test {
 protected:
  void SetUp() override {
    m_messagesFile = m_scratch / "messages.txt";
    SetEnvironmentVariableA("TOLLIX_KILL_LOG", m_messagesFile.c_str());
    ResetMachine();
  }
  void TearDown() override {
    SetEnvironmentVariableA("TOLLIX_KILL_LOG", nullptr);
    SetEnvironmentVariableA("TOLLIX_KILL_AT", nullptr);
    ForgetSampleInstalls();
    ForgetSampleClassRegistrations();
    ForgetScheduledSampleDeletions();
  }

  // A clean machine that holds only the user's own data and the settings that route the
  // program's messages to the kill switch.
  void ResetMachine() {
    ForgetSampleInstalls();
    ForgetSampleClassRegistrations();
    ForgetScheduledSampleDeletions();
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, "Software\\Nimbrel", "ContentDebuggerDLL",
                          BuildPath("fixtures\\kill_switch_debugger.dll")));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "Software\\Nimbrel\\Content Debugger", "Tollix Installer", "1"));
    ASSERT_TRUE(MakeFolders(ShellFolder(CSIDL_APPDATA) + "Acme\\Acme Toolbar"));
    ASSERT_TRUE(WriteTextFile(UserDataFile(), "<bookmarks>the user's own</bookmarks>"));
  }

  // A copy of the sample package; without an install id, so the uninstaller sends no ping.
  std::string MakePackage(const std::string& name, const std::string& productVersion = "",
                          const std::string& runtimeVersion = "") {
    const std::string folder = m_scratch / (name + "\\");
    EXPECT_TRUE(CopySamplePackage(folder));
    const std::string vendorFolder = folder + "Private\\Vendor\\ProgFiles\\";
    EditionValues values = {{"Edition", {{"InstallId", kRemoveEditionValue}}}};
    if (!productVersion.empty()) values["Edition"]["ProductVersion"] = productVersion;
    EXPECT_TRUE(PatchEditionIni(vendorFolder + "TollixSystemInfo.ini", values));
    if (!runtimeVersion.empty()) {
      EXPECT_TRUE(SetModuleRuntimeVersion(vendorFolder + "TollixSystemInfo.dll", runtimeVersion));
    }
    return folder;
  }

  // Runs a program to its end, ended by the kill switch at message killAt (0: never); the
  // messages it posted are in m_messages.
  DWORD Run(const std::string& program, const std::string& args, const char* folder,
            const std::vector<DialogAnswer>& answers, int killAt) {
    DeleteFileA(m_messagesFile.c_str());
    SetEnvironmentVariableA("TOLLIX_KILL_AT", std::to_string(killAt).c_str());
    const AnsweredRun run = RunAnswering(program, args, folder, answers, 60000);
    SetEnvironmentVariableA("TOLLIX_KILL_AT", nullptr);
    m_messages = ReadMessages(m_messagesFile);
    return run.exitCode;
  }

  DWORD Install(const std::string& package, int killAt = 0) {
    return Run(package + kInstallerExe, "/S", package.c_str(), {}, killAt);
  }

  // The uninstall command the Add/Remove Programs entry records; false when there is none.
  static bool RecordedUninstall(std::string* program, std::string* arguments) {
    std::string command;
    return ReadString(HKEY_LOCAL_MACHINE, kEntryKey, "UninstallString", &command) &&
           SplitCommand(command, program, arguments);
  }

  // Runs an uninstall command as Add/Remove Programs does, answering dialog 118 with a choice.
  DWORD Uninstall(const std::string& program, const std::string& arguments, int choice, int killAt = 0) {
    return Run(program, arguments, m_scratch.Path().c_str(), {{kDialogTitle, {choice, IDOK}}}, killAt);
  }
  // The same through the recorded command; 0xFFFFFFFF when no command is recorded.
  DWORD UninstallRecorded(int choice, int killAt = 0) {
    std::string program;
    std::string arguments;
    if (!RecordedUninstall(&program, &arguments)) return 0xFFFFFFFF;
    return Uninstall(program, arguments, choice, killAt);
  }

  // Where a run ended, for a report: "message 31 (Success!)".
  static std::string Where(const std::vector<Message>& steps, int k) {
    return "message " + std::to_string(k) + " (" + steps[k - 1].text + ")";
  }

  // Checks a killed run: it must have been ended by the switch at exactly message k.
  std::string KilledRunProblem(DWORD exitCode, int k) const {
    if (exitCode != kKilledExitCode)
      return "the run was not ended by the kill switch (exit code " + std::to_string(exitCode) + ")\n";
    if (m_messages.size() != static_cast<size_t>(k) || !m_messages.back().killed)
      return "the ended run posted " + std::to_string(m_messages.size()) + " messages instead of " + std::to_string(k) +
             "\n";
    return "";
  }

  ScratchFolder m_scratch;
  std::string m_messagesFile;
  std::vector<Message> m_messages;
};

// The installs: the first one, and an upgrade from an older version of the same product on an
// older runtime. Each ended install is run again, compared with the uninterrupted install, then
// uninstalled through its recorded command (the default choice, which keeps the user's data)
// and compared with an uninterrupted install and uninstall.
struct InstallCase {
  const char* name;
  bool upgrade;
};

class KillTableInstall : public KillTable, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(KillTableInstall, EndedAtEveryMessageThenRunAgainEndsAsUninterrupted) {
  const InstallCase& c = GetParam();
  const std::string package = MakePackage("new", "", c.upgrade ? kNewerRuntime : "");
  const std::string older = c.upgrade ? MakePackage("older", kOlderProduct, kOlderRuntime) : "";
  auto prepare = [&]() -> std::string {
    if (!c.upgrade) return "";
    const DWORD code = Install(older);
    return code == 0 ? "" : "the older version did not install (exit code " + std::to_string(code) + ")\n";
  };

  ASSERT_EQ("", prepare());
  ASSERT_EQ(0u, Install(package));
  const std::vector<Message> steps = m_messages;
  ASSERT_GT(steps.size(), 20u) << "the kill switch did not receive the program's messages";
  // Known gap (README, "Interrupted runs"): an upgrade ended after the earlier version's records
  // were removed and before the new ones were written is run again as a first install of the
  // product, which writes no "Updated" time. Nothing reads that value back.
  const std::string updated = "value HKLM\\Software\\Acme\\Acme Toolbar [Updated]";
  auto take = [&]() {
    MachineSnapshot snapshot = MachineSnapshot::Take();
    if (c.upgrade) snapshot.Forget(updated);
    return snapshot;
  };
  const MachineSnapshot installed = take();
  ASSERT_TRUE(installed.Contains(std::string("value HKLM\\") + kEntryKey + " [UninstallString]"));
  ASSERT_EQ(0u, UninstallRecorded(kToolbarUninstall));
  const MachineSnapshot uninstalled = take();
  ASSERT_FALSE(uninstalled.Contains(std::string("key HKLM\\") + kEntryKey));
  ASSERT_TRUE(PathExists(UserDataFile()));

  std::string report;
  for (int k : KillPoints(steps)) {
    ResetMachine();
    std::string problems = prepare();
    problems += KilledRunProblem(Install(package, k), k);
    const DWORD rerun = Install(package);
    if (rerun != 0) problems += "running the install again ended with " + std::to_string(rerun) + "\n";
    problems +=
        take().DifferenceFrom(installed, "after an uninterrupted install", "after the ended install was run again");
    const DWORD uninstall = UninstallRecorded(kToolbarUninstall);
    if (uninstall == 0xFFFFFFFF) {
      problems += "no uninstall command is recorded\n";
    } else {
      if (uninstall != 0) problems += "the recorded uninstall ended with " + std::to_string(uninstall) + "\n";
      problems += take().DifferenceFrom(uninstalled, "after an uninterrupted install and uninstall",
                                        "after the repaired install's uninstall");
    }
    if (!problems.empty()) report += "ended at " + Where(steps, k) + ":\n" + problems;
  }
  EXPECT_EQ("", report) << c.name << ": " << steps.size() << " messages in an uninterrupted run, ended at "
                        << KillPoints(steps).size() << " of them";
}

INSTANTIATE_TEST_SUITE_P(Installs, KillTableInstall,
                         ::testing::Values(InstallCase{"first install", false},
                                           InstallCase{"same-product upgrade", true}),
                         [](const ::testing::TestParamInfo<InstallCase>& info) {
                           return std::string(info.param.upgrade ? "SameProductUpgrade" : "FirstInstall");
                         });

// A complete uninstallation ended at every message: the recorded uninstall run again, or where
// its program is already gone the installer and then the uninstall, ends as an uninterrupted
// complete uninstallation.
TEST_F(KillTable, CompleteUninstallEndedAtEveryMessageThenRunAgainEndsClean) {
  const std::string package = MakePackage("new");
  ASSERT_EQ(0u, Install(package));
  std::string program;
  std::string arguments;
  ASSERT_TRUE(RecordedUninstall(&program, &arguments));
  ASSERT_EQ(0u, Uninstall(program, arguments, kCompleteUninstall));
  const std::vector<Message> steps = m_messages;
  ASSERT_GT(steps.size(), 20u) << "the kill switch did not receive the program's messages";
  const MachineSnapshot uninstalled = MachineSnapshot::Take();
  ASSERT_FALSE(uninstalled.Contains(std::string("key HKLM\\") + kEntryKey));
  ASSERT_FALSE(PathExists(UserDataFile()));

  std::string report;
  for (int k : KillPoints(steps)) {
    ResetMachine();
    std::string problems;
    const DWORD installed = Install(package);
    if (installed != 0) problems += "the install ended with " + std::to_string(installed) + "\n";
    problems += KilledRunProblem(Uninstall(program, arguments, kCompleteUninstall, k), k);
    std::string how;
    if (PathExists(program)) {
      how = "the uninstall run again";
      const DWORD again = Uninstall(program, arguments, kCompleteUninstall);
      if (again != 0) problems += "running the uninstall again ended with " + std::to_string(again) + "\n";
    } else {
      how = "the installer and the uninstall run again";
      const DWORD reinstall = Install(package);
      if (reinstall != 0) problems += "running the installer again ended with " + std::to_string(reinstall) + "\n";
      const DWORD again = UninstallRecorded(kCompleteUninstall);
      if (again != 0) problems += "the recorded uninstall then ended with " + std::to_string(again) + "\n";
    }
    problems += MachineSnapshot::Take().DifferenceFrom(uninstalled, "after an uninterrupted uninstall", "after " + how);
    if (!problems.empty()) report += "ended at " + Where(steps, k) + ":\n" + problems;
  }
  EXPECT_EQ("", report) << steps.size() << " messages in an uninterrupted run, ended at " << KillPoints(steps).size()
                        << " of them";
}

}  // namespace
