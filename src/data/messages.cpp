#include "messages.h"

#include <string.h>

#include "uninstall_data.h"

static const char EmptyMessage[] = "";

const char *LookupMessage(int table, int number) {
  if (table != 0 || number < 0) return EmptyMessage;
  char **strings = MessageTable[0];
  if (!strings) return EmptyMessage;
  for (int i = 0; strings[i]; ++i) {
    if (i == number) return strings[i];
  }
  return EmptyMessage;
}

// Appends `text` at `*at`, keeping one byte of `end` for the terminator.
static void AppendBounded(char **at, const char *end, const char *text, size_t length) {
  size_t room = static_cast<size_t>(end - *at) - 1;
  if (length > room) length = room;
  memcpy(*at, text, length);
  *at += length;
}

void FormatMessageArg(char *destination, int number, const char *argument) {
  const char *message = LookupMessage(0, number);
  char *at = destination;
  const char *end = destination + MESSAGE_BUFFER_SIZE;
  if (!strstr(message, "%s")) {
    AppendBounded(&at, end, message, strlen(message));
    *at = '\0';
    return;
  }
  // The text comes from the data, so it is never handed to a printf-style
  // call: only the one argument there is can be inserted.
  if (!argument) argument = EmptyMessage;
  bool inserted = false;
  for (const char *p = message; *p; ++p) {
    if (p[0] == '%' && p[1] == '%') {
      AppendBounded(&at, end, "%", 1);
      ++p;
    } else if (p[0] == '%' && p[1] == 's' && !inserted) {
      AppendBounded(&at, end, argument, strlen(argument));
      inserted = true;
      ++p;
    } else {
      AppendBounded(&at, end, p, 1);
    }
  }
  *at = '\0';
}
