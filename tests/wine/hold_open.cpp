// A Windows program for the Wine tests: holds FILE open for SECONDS as a
// program showing it might, sharing reading and writing but not its removal,
// so that Windows refuses to replace it meanwhile.
//
//     vokt_hold_open FILE SECONDS
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) * 1000);
  CloseHandle(file);
  return 0;
}
