// Leaks one block on purpose: the sanitizer build must report it at exit.
#include <cstdlib>

void* volatile leaked;

int main() {
  leaked = std::malloc(24);
  leaked = nullptr;
  return 0;
}
