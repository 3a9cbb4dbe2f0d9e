#include <cstdio>

int main() {
  std::puts("vesk-cli");
  return 0;
}
