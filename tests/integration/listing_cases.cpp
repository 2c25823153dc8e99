#include "tests/integration/check.h"
ITEST_CASE(Placeholder) { CHECK(ctx.host.Bits() == 64); }
