// The run, from the data to the exit code: the steps WinMain takes in order.
#pragma once

#include "switches.h"

enum ExitCode { EXIT_OK = 0, EXIT_FAILED = -1 };

// Sets QuietMode, SwitchS and SwitchX.
void ApplySwitches(SwitchSet switches);

// Unless quiet: the confirmation, then the in-use prompt until no flagged
// file is in use. Returns IDOK to go on; any other answer ends the run with
// nothing removed.
int ConfirmRemoval();

// Creates the progress dialog with the caption of the first phase and sets
// ProgressTotal; without the dialog, ProgressTotal stays 0 and the phases
// run silently.
void OpenProgressDialog();

// The pre-uninstall program, the removal phases under the progress dialog,
// the closing message and the closing document.
void RunRemoval();

// The self-deletion, only when `confirmed` is IDOK and neither /S nor /X is
// set.
void DeleteSelfAfterRun(int confirmed);

// The final message loop, the release of the lists, the self-deletion
// (only when `confirmed` is IDOK and neither /S nor /X is set), shut-down.
void EndRun(int confirmed);
