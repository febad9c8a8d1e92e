// What the Linux program is linked against in place of the card library: the
// nine operations with no body worth the name, in a library whose name (its
// soname) is "$ORIGIN/libbtvid_32.so". The program therefore records that it
// needs libbtvid_32.so from its own folder, and at load time the dynamic
// linker binds it to whatever library lies there -- the simulated card or a
// real card's driver -- by the nine names alone, without searching a path.
// This stub is never loaded, so each operation is defined with no parameters:
// the link needs its name alone.
#include <cstdint>  // IWYU pragma: keep (the types of the operations list)

extern "C" {

#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) \
  Result Name() {                                               \
    return 0;                                                   \
  }
#include "cardbus/btvid_32_operations.h"

}  // extern "C"
