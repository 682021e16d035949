// What the GUI tests and the probe hook inside Vostrel.exe agree on: the
// message that asks for a report, and where the report goes.
#pragma once

namespace vostrel::gui {

// Registered window message posted to the main dialog; the probe answers it.
constexpr const char* kProbeMessage = "VostrelUiProbeRequest";
// Named shared memory that receives the report as text, and the event set
// when it is written.
constexpr const char* kProbeReportMapping = "VostrelUiProbeReport";
constexpr const char* kProbeDoneEvent = "VostrelUiProbeDone";
constexpr unsigned kProbeReportSize = 64 * 1024;
// The exported hook procedure.
constexpr const char* kProbeHookName = "ProbeHook";

}  // namespace vostrel::gui
