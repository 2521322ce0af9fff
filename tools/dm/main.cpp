// stackwright-dm: creates DM server folders and libraries, runs SQL through the DM SQL object,
// prints folder trees.
#include <cstdio>

int main(int argc, char**) {
  std::fprintf(stderr, "usage: stackwright-dm init DIR [--demo] | sql DIR LIBRARY STATEMENT | tree DIR LIBRARY\n");
  return argc > 1 ? 2 : 0;
}
