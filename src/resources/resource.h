// Resource identifiers, shared by the resource script and the code.
#pragma once

#define IDD_QUESTION 109
#define IDD_PROGRESS 110
#define IDI_MAIN 800
#define IDC_MESSAGE_TEXT 1000
#define IDC_YES_TO_ALL 1001
#define IDC_NO_TO_ALL 1002
#define IDC_PROGRESS_BAR 1009
