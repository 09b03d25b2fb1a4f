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

}  // namespace vexo::tools
