// The program's resource table, made in the build from the pictures in
// resources/art by make_resources.py (resource_data.cpp in the build's
// generated folder). resource_table.cpp hands it to the platform.
#pragma once

#include "platform/resource.h"

extern const ResourceEntry kProgramResources[];
extern const int kProgramResourceCount;
