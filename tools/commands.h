#pragma once

#include "command_support.h"

// Each command returns its exit code, or the error that stopped it (reported by the caller).
namespace vexo::tools {

Result<int> run_info(const CommandContext& context);
Result<int> run_vin(const CommandContext& context);
Result<int> run_obd(const CommandContext& context);
Result<int> run_dtc(const CommandContext& context);
Result<int> run_uds(const CommandContext& context);
Result<int> run_monitor(const CommandContext& context);
Result<int> run_kline(const CommandContext& context);

// Write and remove the user's ~/.passthru file; they load no library.
Result<int> run_register(const Options& options);
Result<int> run_unregister(const Options& options);

// --version: the tool's version, then the library's as reported by an opened cable, or why there is none.
Result<int> run_version(const CommandContext& context);
int report_version_without_library(const Options& options, const ToolError& why);

}  // namespace vexo::tools
