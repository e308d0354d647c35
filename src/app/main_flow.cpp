#include "main_flow.h"

#include <windows.h>

#include "../data/messages.h"
#include "../data/state.h"
#include "../data/uninstall_data.h"
#include "../removal/directories.h"
#include "../removal/emptied_folders.h"
#include "../removal/files.h"
#include "../removal/registry.h"
#include "../removal/shortcuts.h"
#include "../resources/resource.h"
#include "../ui/ui.h"
#include "closing_document.h"
#include "pre_uninstall.h"
#include "self_delete.h"
#include "startup.h"

// MessageBoxA styles of the prompts.
enum : uint32_t {
  CONFIRM_STYLE = MB_OKCANCEL | MB_ICONINFORMATION,
  IN_USE_STYLE = MB_RETRYCANCEL | MB_ICONINFORMATION,
  CLOSING_STYLE = MB_OK | MB_ICONINFORMATION,
};

// Where nobody sees the window station, the run is quiet and asks nothing,
// as if /Q /N had been given.
void ApplySwitches(SwitchSet switches) {
  const bool seen = WindowStationVisible();
  QuietMode = switches.quiet || !seen;
  SwitchS = switches.s;
  SwitchX = switches.x;
  NoQuestions = switches.n || !seen;
}

int ConfirmRemoval() {
  int answer = ShowMessage(LookupMessage(0, MSG_CONFIRM), CONFIRM_STYLE);
  if (answer != IDOK) return answer;
  while (AnyFileInUse()) {
    // A box that cannot be shown (0) ends the run like Cancel rather than
    // testing the files again forever.
    answer = ShowMessage(LookupMessage(0, MSG_FILES_IN_USE), IN_USE_STYLE);
    if (answer == IDCANCEL || answer == 0) return IDCANCEL;
  }
  return IDOK;
}

// /X alone skips the product's program; /S, with or without /X, runs it.
static void RunProgramStep() {
  const char *program = SettingsString(SETTINGS_PROGRAM_AT);
  if (!program || (SwitchX && !SwitchS)) return;
  StartPreUninstallProgram(program, SettingsFlags() & SETTINGS_WAIT_FOR_PROGRAM);
}

void OpenProgressDialog() {
  ProgressDialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_PROGRESS), MainWindow,
                                      ProgressDialogProc, 0);
  if (!ProgressDialog) return;
  ProgressBar = GetDlgItem(ProgressDialog, IDC_PROGRESS_BAR);
  ProgressTotal = RegistryListCount + 2 * FileListCount + ShortcutListCount;
  SetDlgItemTextA(ProgressDialog, IDC_MESSAGE_TEXT, LookupMessage(0, MSG_PROGRESS_FILES));
}

static void SetPhaseCaption(int message) {
  if (ProgressDialog) SetDlgItemTextA(ProgressDialog, IDC_MESSAGE_TEXT, LookupMessage(0, message));
}

static void CloseProgressDialog() {
  if (!ProgressDialog) return;
  DestroyWindow(ProgressDialog);
  ProgressDialog = nullptr;
  ProgressBar = nullptr;
}

// No switch skips a phase: a quiet run removes what an interactive one does.
static void RunPhases() {
  RemoveFiles();
  RemoveDirectories();
  SetPhaseCaption(MSG_PROGRESS_SHORTCUTS);
  RemoveShortcutFiles();
  RemoveShortcutFolders();
  SetPhaseCaption(MSG_PROGRESS_FOLDERS);
  RemoveEmptiedFolders();
  SetPhaseCaption(MSG_PROGRESS_REGISTRY);
  RemoveRegistryEntries();
}

void RunRemoval() {
  RunProgramStep();
  if (!QuietMode) OpenProgressDialog();
  RunPhases();
  CloseProgressDialog();
  const char *closing = LookupMessage(0, MSG_DONE);
  if (!QuietMode && closing[0] != '\0') ShowMessage(closing, CLOSING_STYLE);
  const char *document = SettingsString(SETTINGS_DOCUMENT_AT);
  if (document && !SwitchS && !SwitchX) OpenClosingDocument(document, ".htm");
}

void DeleteSelfAfterRun(int confirmed) {
  if (confirmed == IDOK && !SwitchS && !SwitchX) ScheduleSelfDeletion();
}

void EndRun(int confirmed) {
  RunFinalMessageLoop();
  ReleaseUninstallData();
  // The self-deletion needs InstallFolder and WorkPath, which ShutDown releases.
  DeleteSelfAfterRun(confirmed);
  ShutDown();
}
