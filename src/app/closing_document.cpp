#include "closing_document.h"

void OpenClosingDocument(const char *, const char *) {}
