// The floor that scripts/bench compares the uninstallers with: the same
// removal as bare Windows calls, one per path, with nothing around them.
//   delete_loop LIST
// LIST holds one path per line in the ANSI code page. A line ending in a
// backslash names a folder, removed with RemoveDirectoryA; any other line a
// file, deleted with DeleteFileA; in the list's order, so files come first.
// An empty list makes a program that only starts and ends.
// Exit codes: 0 every call succeeded, 1 some call failed, 2 the list cannot
// be read or no list was given.
#include <windows.h>

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  const DWORD size = GetFileSize(file, nullptr);
  // One byte more for the NUL that ends a last line without a newline.
  char *text = size == INVALID_FILE_SIZE
                   ? nullptr
                   : static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, size + 1));
  DWORD got = 0;
  const bool read = text && ReadFile(file, text, size, &got, nullptr) && got == size;
  CloseHandle(file);
  if (!read) return 2;
  text[size] = '\0';

  bool failed = false;
  for (char *line = text; *line;) {
    char *end = line;
    while (*end && *end != '\n') ++end;
    char *next = *end ? end + 1 : end;
    if (end > line && end[-1] == '\r') --end;
    *end = '\0';
    if (end > line) {
      if (end[-1] == '\\') {
        end[-1] = '\0';
        failed |= !RemoveDirectoryA(line);
      } else {
        failed |= !DeleteFileA(line);
      }
    }
    line = next;
  }
  return failed ? 1 : 0;
}
