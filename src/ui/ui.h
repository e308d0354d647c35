// Windows, dialogs, message boxes and progress.
//
// A hidden main window owns every message box and dialog. Message 0 is the
// caption of all of them; every other text comes from the message table too.
#pragma once

#include <stdint.h>

#include "../data/messages.h"  // ShowMessage
#include "../data/state.h"     // MainWindow

#ifdef _WIN32
#include <windows.h>

extern HINSTANCE AppInstance;      // the module instance given to WinMain
extern HWND ProgressDialog;        // the modeless progress dialog while it exists
extern HWND ProgressBar;           // its progress bar control
extern uint32_t ProgressPosition;  // last percentage sent to the bar, from 0
extern HFONT DialogFont;           // normal-weight dialog font, made once; null until then

// Registers "QuenridClass"; true when RegisterClassA returned an atom.
bool RegisterMainWindowClass();
// Creates the hidden main window, centred on the screen, into MainWindow.
bool CreateMainWindow();
// Posts the quit message on WM_DESTROY; everything goes to DefWindowProcA.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Destroys the main window and dispatches messages until the quit message.
void RunFinalMessageLoop();

// Consumes every command, so Enter, Esc and the close box change nothing.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Ends the dialog with the id of any command; the question text comes as the
// initialisation parameter.
INT_PTR CALLBACK QuestionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Gives every control of the dialog the normal-weight DialogFont, made from
// the first dialog's font.
void ApplyDialogFont(HWND dialog);
#endif

// ShowMessage: data/messages.h, beside the messages it shows.

// Shows the four-button question dialog with `question` and returns IDYES,
// IDC_YES_TO_ALL, IDNO, IDC_NO_TO_ALL or IDCANCEL; IDNO when no dialog can be
// shown.
int ShowQuestion(const char *question);

// Moves the progress bar to `percentage` (clamped to 100) and handles the
// pending messages, only when the value changed.
void SetProgress(uint32_t percentage);

// Moves the progress bar to `done` units of ProgressTotal, as a percentage
// rounded down (100 from ProgressTotal units on); does nothing while
// ProgressTotal is 0, that is without a progress dialog.
void ReportProgress(uint64_t done);

// Handles every message already queued, without waiting; a quit message
// taken here is dropped.
void PumpMessages();
