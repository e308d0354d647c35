#include "../data/memory.h"
#include "../data/messages.h"
#include "../resources/resource.h"
#include "ui.h"

struct ButtonText {
  int id;
  int message;
};

// In the order the texts are set, which is not the order on the screen.
static const ButtonText QuestionButtons[] = {
    {IDYES, MSG_BUTTON_YES},
    {IDNO, MSG_BUTTON_NO},
    {IDC_YES_TO_ALL, MSG_BUTTON_YES_TO_ALL},
    {IDC_NO_TO_ALL, MSG_BUTTON_NO_TO_ALL},
};

// The dialog's font at normal weight, or null when it has none to copy.
static HFONT NormalWeightCopy(HFONT font) {
  LOGFONTA description;
  if (!font || GetObjectA(font, sizeof description, &description) != sizeof description) {
    return nullptr;
  }
  description.lfWeight = FW_NORMAL;
  return CreateFontIndirectA(&description);
}

// A classic template cannot set its font's weight, so the controls are given
// one regular-weight copy instead, made from whichever dialog opens first.
void ApplyDialogFont(HWND dialog) {
  if (!DialogFont) {
    DialogFont = NormalWeightCopy(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
  }
  if (!DialogFont) return;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont), 0);
  }
}

// The progress dialog must not be closed or cancelled from the keyboard or the
// caption: the removal it watches cannot be stopped half-way.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ApplyDialogFont(dialog);
      SetWindowTextA(dialog, LookupMessage(0, MSG_CAPTION));
      return TRUE;
    case WM_COMMAND: SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 1); return TRUE;
  }
  return FALSE;
}

static void SetQuestionTexts(HWND dialog, const char *question) {
  SetWindowTextA(dialog, LookupMessage(0, MSG_CAPTION));
  SetDlgItemTextA(dialog, IDC_MESSAGE_TEXT, question);
  for (const ButtonText &button : QuestionButtons) {
    SetDlgItemTextA(dialog, button.id, LookupMessage(0, button.message));
  }
}

// Any command answers: a button with its own id, Esc and the close box with
// IDCANCEL.
INT_PTR CALLBACK QuestionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      ApplyDialogFont(dialog);
      SetQuestionTexts(dialog, reinterpret_cast<const char *>(lParam));
      return TRUE;
    case WM_COMMAND: EndDialog(dialog, LOWORD(wParam)); return TRUE;
  }
  return FALSE;
}

// When no question can be shown at all, the file stays.
int ShowQuestion(const char *question) {
  INT_PTR answer = DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_QUESTION), MainWindow,
                                   QuestionDialogProc, reinterpret_cast<LPARAM>(question));
  return answer == -1 ? IDNO : static_cast<int>(answer);
}
