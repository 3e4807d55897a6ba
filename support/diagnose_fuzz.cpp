// libFuzzer target (not shipped; scripts/fuzz-support-report.sh builds and runs it): any bytes as a
// support section and the facts around it, through the reader, the merge with the process list and
// the report's JSON, which must stay valid. The first bytes are the section (zeros past the input's
// end, as a small mapping reads); the next one chooses what the system would say of its process;
// the rest are UTF-16 text for the report's other strings.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "support/diagnose_logic.h"
#include "support/support_section.h"
#include "support/json_check.h"

namespace {

void NoPause() {}

void Require(bool holds, const std::string& what, const std::string& json) {
  if (holds) return;
  std::fprintf(stderr, "%s\n%s\n", what.c_str(), json.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto section = std::make_unique<SupportSection>();
  const std::size_t sectionBytes = size < sizeof(SupportSection) ? size : sizeof(SupportSection);
  std::memcpy(static_cast<void*>(section.get()), data, sectionBytes);
  data += sectionBytes;
  size -= sectionBytes;
  const std::uint8_t facts = size > 0 ? data[0] : 0;
  if (size > 0) ++data, --size;
  std::wstring text;
  for (std::size_t i = 0; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));

  SupportSnapshot snapshot;
  const SupportRead read = ReadSupportSectionSettled(*section, snapshot, 3, NoPause);
  DiagnoseReport report;
  report.Computer = text;
  report.ControllerPresent = (facts & 0x10) != 0;
  report.InterfacePath = text.substr(0, text.size() / 2);
  if (read == SupportRead::Done) {
    Require(snapshot.PathLength <= SUPPORT_PATH_CAPACITY, "path length past the section", "");
    const bool trusted = (facts & 1) != 0;
    std::vector<RunningCopy> processes;
    if (facts & 2) processes.push_back({snapshot.ProcessId, snapshot.SessionId, trusted});
    if (facts & 4) processes.push_back({snapshot.ProcessId ^ 1u, (facts >> 5) & 3u, std::nullopt});
    if (facts & 8) report.ConsoleSession = snapshot.SessionId;
    report.Copies = MergeCopies(processes, {{snapshot.SessionId, snapshot, trusted}}, report.ConsoleSession);
    const std::string json = DiagnoseReportJson(report);
    Require(json_check::Check(json).empty(), "invalid JSON: " + json_check::Check(json), json);
    Require(trusted || DiagnoseExitCode(report) != DIAGNOSE_EXIT_CONNECTED, "a stranger's section made exit 0",
            json);
  } else {
    const std::string json = DiagnoseReportJson(report);
    Require(json_check::Check(json).empty(), "invalid JSON: " + json_check::Check(json), json);
  }
  return 0;
}
