// The message table: every text the uninstaller shows comes from the data.
#pragma once

#include <stdint.h>

enum : uint32_t { MESSAGE_BUFFER_SIZE = 1024 };  // every formatted message fits this

enum MessageNumber {
  MSG_CAPTION = 0,
  MSG_CONFIRM = 1,
  MSG_DONE = 2,
  MSG_BUTTON_YES = 3,
  MSG_BUTTON_YES_TO_ALL = 4,
  MSG_BUTTON_NO = 5,
  MSG_BUTTON_NO_TO_ALL = 6,
  MSG_OUT_OF_MEMORY = 7,
  MSG_DATA_TRUNCATED = 8,
  MSG_READ_ONLY_FILE = 9,
  MSG_SHARED_FILE = 10,
  MSG_PROGRESS_FILES = 11,
  MSG_PROGRESS_SHORTCUTS = 12,
  MSG_PROGRESS_FOLDERS = 13,
  MSG_PROGRESS_REGISTRY = 14,
  MSG_FILES_IN_USE = 15,
};

// Message `number` of table `table`; the empty string, never null, when the
// table or the message does not exist.
const char *LookupMessage(int table, int number);

// Formats message `number` into `destination` (MESSAGE_BUFFER_SIZE bytes,
// always terminated). When the message holds "%s", the first "%s" becomes
// `argument` and "%%" becomes "%"; any other "%" is copied as it stands, so
// text from the data can never consume arguments that were not given. A
// message without "%s" is copied unchanged.
void FormatMessageArg(char *destination, int number, const char *argument);

// Shows `text` in a message box of `style` (MessageBoxA styles) under the
// caption message 0, owned by the main window once it exists. Returns the
// button id, 0 on failure. Twins: show_message_win32.cpp shows the box;
// show_message_posix.cpp, on the host, records what it was asked to show.
// The Windows build of the tool links a silent one of its own instead.
int ShowMessage(const char *text, uint32_t style);

// False when the process's window station is one nobody sees (a service's,
// session 0), where a box would wait for ever: ShowMessage then shows
// nothing and returns 0. NT family only, looked up at run time; true
// elsewhere and on the host.
bool WindowStationVisible();
