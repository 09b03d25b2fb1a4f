#pragma once

#include <string>

#include "core/device.h"
#include "vexo/j2534.h"

// SCONFIG_LIST and SBYTE_ARRAY <-> the ioctl values. The counts are the caller's and are trusted:
// the arrays must really hold that many entries.
namespace vexo::api {

// NumOfParams 0 or a null ConfigPtr gives an empty list.
ConfigList config_list_from(const SCONFIG_LIST& list);
// "0x1=10400, 0x3=0".
std::string config_list_text(const ConfigList& pairs);

// NumOfBytes 0 or a null BytePtr gives no bytes.
Bytes bytes_from(const SBYTE_ARRAY& array);
// Copies min(NumOfBytes, size) bytes and shrinks NumOfBytes to that; leaves `out` alone when
// there is nothing to copy or nowhere to copy it.
void bytes_to(const Bytes& bytes, SBYTE_ARRAY& out);

}  // namespace vexo::api
