// Hands the resource table to the platform while the program starts, before
// main, so that every program linking the system (the viewer, the tools,
// the tests, the benchmarks) finds its bitmaps, strings and icon.
#include "resources/resource_table.h"

namespace {

[[maybe_unused]] const bool kHandedOver =
    (SetProgramResources(kProgramResources, kProgramResourceCount), true);

}  // namespace
