// quenrid plan: every step a packed uninstaller would take on this machine,
// in its order, with what it would meet there. The tool runs the
// uninstaller's own steps (the confirmation, the program, the removal phases,
// the closing message and document, the self-deletion) against the recording
// twin of the machine (machine_recording.cpp), which answers from this
// machine and notes each change instead of making it; so the plan holds the
// run's own decisions, and this file only sets up the state and prints.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "app/main_flow.h"
#include "app/switches.h"
#include "data/state.h"
#include "data/uninstall_data.h"
#include "quenrid/commands.h"
#include "quenrid/recording.h"

namespace quenrid {

namespace {

using Json = nlohmann::ordered_json;

struct PlanOptions {
  std::string file;
  std::string switches;
  bool json = false;
};

// Strings of the block and of the system are in the ANSI code page; JSON
// and the terminal take UTF-8.
std::string Utf8(const std::string &ansi) {
  if (ansi.empty()) return ansi;
  const int wide =
      MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &text[0], wide);
  const int narrow =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &utf8[0], narrow, nullptr, nullptr);
  return utf8;
}

// One line per text: the texts of messages may hold line breaks.
std::string OneLine(std::string text) {
  for (char &c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

// What a removal is: the changes that take something away.
bool Removes(const std::string &what) {
  return what == "deletes the file" || what == "removes the folder" ||
         what == "deletes the key" || what == "deletes the key with its subkeys" ||
         what == "deletes the value";
}

Json PlanOf(const std::vector<Record> &records, SwitchSet switches) {
  Json plan;
  plan["uninstaller"] = Utf8(ModulePath);
  plan["installFolder"] = Utf8(InstallFolder);
  plan["windows"] = IsNtPlatform ? "NT" : "95/98/Me";
  plan["switches"] = {
      {"quiet", switches.quiet}, {"S", switches.s}, {"X", switches.x}, {"N", switches.n}};
  Json steps = Json::array(), removed = Json::array(), removedOnYes = Json::array();
  for (const Record &record : records) {
    Json step = {{"what", record.what}, {"path", Utf8(record.path)}};
    if (!record.detail.empty()) step["detail"] = Utf8(record.detail);
    if (!record.environment.empty()) step["environment"] = Utf8(record.environment);
    if (record.onYes) step["onYes"] = true;
    steps.push_back(step);
    if (Removes(record.what)) (record.onYes ? removedOnYes : removed).push_back(Utf8(record.path));
  }
  plan["steps"] = steps;
  plan["removed"] = removed;
  plan["removedOnYes"] = removedOnYes;
  return plan;
}

// For people: a line per step.
std::string Text(const Json &plan) {
  std::string text = "Plan of " + plan["uninstaller"].get<std::string>() + " on Windows " +
                     plan["windows"].get<std::string>() + "\n\n";
  for (const Json &step : plan["steps"]) {
    text += "  " + step["what"].get<std::string>();
    if (!step["path"].get<std::string>().empty()) text += " " + step["path"].get<std::string>();
    if (step.contains("detail")) text += ": " + OneLine(step["detail"].get<std::string>());
    if (step.contains("environment")) text += "; " + step["environment"].get<std::string>();
    if (step.contains("onYes")) text += " (on Yes)";
    text += "\n";
  }
  text +=
      "\n" + std::to_string(plan["removed"].size()) + " files, folders, keys and values removed";
  if (!plan["removedOnYes"].empty()) {
    text += ", " + std::to_string(plan["removedOnYes"].size()) + " more on Yes";
  }
  return text + "\n";
}

// The process-wide state the shared code reads, as the stub sets it up.
struct StubState {
  explicit StubState(const std::string &file) {
    DetectOperatingSystem();
    const DWORD length = GetFullPathNameA(file.c_str(), PATH_BUFFER_SIZE, module_, nullptr);
    if (length == 0 || length >= PATH_BUFFER_SIZE) {
      throw ToolError(file + ": the path is too long for the uninstaller's buffers");
    }
    strcpy(folder_, module_);
    *(strrchr(folder_, '\\') + 1) = '\0';
    ModulePath = module_;
    InstallFolder = folder_;
    WorkPath = work_;
  }
  ~StubState() {
    ReleaseUninstallData();
    ModulePath = InstallFolder = WorkPath = nullptr;
  }
  StubState(const StubState &) = delete;
  StubState &operator=(const StubState &) = delete;

  char module_[PATH_BUFFER_SIZE] = "";
  char folder_[PATH_BUFFER_SIZE] = "";
  char work_[PATH_BUFFER_SIZE] = "";
};

// The stub's own steps, as WinMain takes them after reading its data, for a
// run whose confirmation is answered OK. The current directory moves as the
// run's would and is put back.
std::vector<Record> RunSteps(SwitchSet switches) {
  char saved[MAX_PATH * 2];
  const DWORD length = GetCurrentDirectoryA(sizeof saved, saved);
  TakeRecords();
  ApplySwitches(switches);
  if (!QuietMode) ConfirmRemoval();
  RunRemoval();
  DeleteSelfAfterRun(IDOK);
  std::vector<Record> records = TakeRecords();
  if (length > 0 && length < sizeof saved) SetCurrentDirectoryA(saved);
  return records;
}

void Plan(const PlanOptions &options) {
  const uint32_t offset = BlockOffset(options.file);
  StubState state(options.file);
  LoadBlock(options.file, offset);
  const SwitchSet switches = ParseSwitches(options.switches.c_str());
  const Json plan = PlanOf(RunSteps(switches), switches);
  WriteStdout(options.json ? plan.dump(2) + "\n" : Text(plan));
}

}  // namespace

void AddPlanCommand(CLI::App &app) {
  auto options = std::make_shared<PlanOptions>();
  CLI::App *command = app.add_subcommand(
      "plan", "Show every step a packed uninstaller would take on this machine; changes nothing");
  command->add_option("file", options->file, "Packed uninstaller")->required();
  command->add_option("--switches", options->switches,
                      "The run's switches, as \"/S\", \"/Q\" or \"/S /N\"");
  command->add_flag("--json", options->json, "Print the plan as JSON");
  command->callback([options] { Plan(*options); });
}

}  // namespace quenrid
