// Temporary until the resource set lands.
#include "platform/resource.h"
const ResourceEntry* FindProgramResource(const WCHAR*, const WCHAR*) { return nullptr; }
