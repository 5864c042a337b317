#pragma once

// korvel-agent --diagnose: the running agent's support report, or else what can be
// told without it, as one JSON object on standard output. Returns the exit code.
int printDiagnosis(char* program);
