// The message tables of the Wayland protocols the overlay speaks beyond the
// core one (the layer shell, xdg-output for the outputs' places and sizes,
// the viewporter and fractional scales for the bands' pixels), as
// wayland-scanner writes them. They are C, built here as C++: a C compiler
// would need flags of its own in every build (the fuzzers' among them). Their
// headers come first, so that their tables, declared there, keep the external
// linkage a C++ constant would otherwise lose; the layer shell names
// xdg_popup, which xdg-shell's tables define. Hiding the tables from other
// shared objects, which C++ will not do for names declared before, does not
// matter in a program.

#include "fractional-scale-v1-client.h"
#include "viewporter-client.h"
#include "wlr-layer-shell-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
// clang-format off
#include "fractional-scale-v1.c"
#include "viewporter.c"
#include "wlr-layer-shell-unstable-v1.c"
#include "xdg-output-unstable-v1.c"
#include "xdg-shell.c"
// clang-format on
#pragma GCC diagnostic pop
