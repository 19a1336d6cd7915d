// The runtime version the substitute implements and reports: the version its interfaces match,
// and the version resource of its client library. Read by C++ and by the resource compiler.
#pragma once

#define SUBSTITUTE_RUNTIME_VERSION "137.0.3296.44"
#define SUBSTITUTE_RUNTIME_VERSION_NUMBERS 137, 0, 3296, 44
