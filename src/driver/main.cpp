#include <string>
#include <vector>

#include "driver/driver.h"
#include "platform/os.h"

#ifdef _WIN32
// The command line in UTF-16, so that every name arrives whole whatever the
// code page; the tool works on its UTF-8 form.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments = vokt::utf8_arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return vokt::vokt_main(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return vokt::vokt_main(argc, argv); }
#endif
