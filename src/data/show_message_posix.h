// The host build has no message boxes: ShowMessage records what it was asked
// to show, so that tests and the quenrid tool can read it back.
#pragma once

#include <stdint.h>

#include "messages.h"

struct ShownMessage {
  char text[MESSAGE_BUFFER_SIZE];
  char caption[MESSAGE_BUFFER_SIZE];
  uint32_t style;
};

extern ShownMessage LastShownMessage;  // the most recent call's arguments
extern uint32_t ShownMessageCount;     // calls since the process began or the last reset

// Forgets every recorded message.
void ResetShownMessages();
