// Preloaded into the tool (LD_PRELOAD) by the tests that must act at the
// instant between two of its renames, which no test could hit by timing.
// VOKT_RENAME_HOOK="<n> <action>" acts on the n-th rename: "vanish" removes
// the file to be renamed just before, a signal number sends that signal to
// the tool just after.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
  static int renames = 0;
  int at = 0;
  char action[16] = "";
  const char* hook = std::getenv("VOKT_RENAME_HOOK");
  const bool now = hook != nullptr && std::sscanf(hook, "%d %15s", &at, action) == 2 && ++renames == at;
  if (now && std::strcmp(action, "vanish") == 0) unlink(from);
  const int result = real(from, to);
  if (now && std::strcmp(action, "vanish") != 0) kill(getpid(), std::atoi(action));
  return result;
}
