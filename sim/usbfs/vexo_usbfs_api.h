/* Controls of the usbfs model beyond the simulated cable's own (vexo_sim_api.h): what only the
   kernel's side of the cable shows. Found through dlsym in the preloaded model library.
   Each returns 0, or -1 for a device without a node. */
#pragma once

#include <stddef.h>

#include "sim/vexo_sim_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A kernel driver bound to the interface; NULL or "" unbinds it. */
VEXO_SIM_API int vexo_usbfs_bind_driver(unsigned device, int interface_number, const char* name);
/* After after_bytes more bytes (whole packets) the IN endpoint sends nothing for ms. */
VEXO_SIM_API int vexo_usbfs_pause_in(unsigned device, size_t after_bytes, unsigned ms);
/* After taking after_bytes more bytes (whole packets) the OUT endpoint NAKs for ms. */
VEXO_SIM_API int vexo_usbfs_nak_out(unsigned device, size_t after_bytes, unsigned ms);

#ifdef __cplusplus
}
#endif
