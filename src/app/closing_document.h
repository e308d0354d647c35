// The document or web page opened at the end of the run.
#pragma once

// Opens `document` with the program registered for `extension`'s class.
void OpenClosingDocument(const char *document, const char *extension);
