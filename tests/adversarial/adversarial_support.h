// Everything the adversarial tests share: running the real program against hostile trees,
// settings and environments (run_support.h), looking at host trees (tree_support.h), and the
// scenarios with their canaries and checks (scenario_support.h).
#pragma once

#include "tests/adversarial/run_support.h"
#include "tests/adversarial/scenario_support.h"
#include "tests/adversarial/tree_support.h"
