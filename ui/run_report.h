// What the window says at the end of a run that had problems.
#pragma once

#include <string>

#include "engine/run_result.h"

// The message box text: "The kit may be incomplete:", one line per problem
// naming its path and the system's reason (at most ten, then "and N more"),
// and, where one fits, a last line of advice.
std::string RunProblemsText(const vostrel::RunResult& result);
