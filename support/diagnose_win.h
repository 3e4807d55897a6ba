// OstinelSettings.exe /diagnose: gathers the support report and writes it.
#pragma once

#include <string>

// Writes the report to reportFile (standard output when empty). Returns the exit value: 0 when a
// running copy holds the controller, 1 when none does, 3 when the report could not be written.
int RunDiagnose(const std::wstring& reportFile);
