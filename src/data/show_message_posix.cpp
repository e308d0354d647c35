#include "show_message_posix.h"

#include <string.h>

#include "messages.h"

ShownMessage LastShownMessage;
uint32_t ShownMessageCount;

static void CopyBounded(char *to, const char *from) {
  strncpy(to, from, MESSAGE_BUFFER_SIZE - 1);
  to[MESSAGE_BUFFER_SIZE - 1] = '\0';
}

int ShowMessage(const char *text, uint32_t style) {
  CopyBounded(LastShownMessage.text, text);
  CopyBounded(LastShownMessage.caption, LookupMessage(0, MSG_CAPTION));
  LastShownMessage.style = style;
  ++ShownMessageCount;
  return 1;  // IDOK: the host has no one to press another button
}

void ResetShownMessages() {
  memset(&LastShownMessage, 0, sizeof LastShownMessage);
  ShownMessageCount = 0;
}

bool WindowStationVisible() { return true; }
