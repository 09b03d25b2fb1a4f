#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

// The registry key through which applications find this library, and the DllRegisterServer /
// DllUnregisterServer behaviour that writes and removes it.
namespace vexo {

inline constexpr std::string_view kDiscoveryParentPath = "SOFTWARE\\PassThruSupport.04.04";
inline constexpr std::string_view kDiscoveryKeyPath = "SOFTWARE\\PassThruSupport.04.04\\vexo - Tactrix Openport 2.0";

inline constexpr std::int32_t kHresultOk = 0;                                                // S_OK
inline constexpr std::int32_t kHresultOutOfMemory = static_cast<std::int32_t>(0x8007000Eu);  // E_OUTOFMEMORY
inline constexpr std::int32_t kHresultUnexpected = static_cast<std::int32_t>(0x8000FFFFu);   // E_UNEXPECTED

// The key naming the DLL at function_library (its full path). We ship no configuration
// program, so ConfigApplication is empty.
platform::RegistryKey discovery_key(std::string function_library);

// HRESULT_FROM_WIN32 of a system error code; 0 stays S_OK.
std::int32_t hresult_from_system_error(std::uint32_t code);

// The exported functions' bodies: an HRESULT, never an exception. Each logs one line.
std::int32_t register_server();
std::int32_t unregister_server();

}  // namespace vexo
