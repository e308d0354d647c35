// A stand-in for a program under test, for the driver's own tests:
//   message_box_probe CAPTION TEXT STYLE   shows one MessageBoxA and exits with its result
//   message_box_probe --exit N             exits with N at once, showing nothing
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], "--exit") == 0) return std::atoi(argv[2]);
  if (argc != 4) return 100;
  UINT style = static_cast<UINT>(std::strtoul(argv[3], nullptr, 0));
  return MessageBoxA(nullptr, argv[2], argv[1], style);
}
