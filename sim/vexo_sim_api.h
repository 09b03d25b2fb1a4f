/* The simulated cable's control surface for other processes: tools find these through
   dlsym/GetProcAddress in the libusb-1.0 stand-in they loaded. Every function is safe to
   call from any thread. Device indices count attached devices from 0. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VEXO_SIM_API __declspec(dllexport)
#else
#define VEXO_SIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    VEXO_SIM_LAYOUT_STANDARD = 0,
    VEXO_SIM_LAYOUT_INTERRUPT_ONLY_INTERFACE0 = 1,
    VEXO_SIM_LAYOUT_TWO_BULK_INS = 2,
    VEXO_SIM_LAYOUT_IN_AND_OUT_ON_DIFFERENT_INTERFACES = 3,
    VEXO_SIM_LAYOUT_NO_BULK_PAIR = 4,
};

VEXO_SIM_API void vexo_sim_reset(void);
/* Returns the index of the first cable added. */
VEXO_SIM_API unsigned vexo_sim_attach_cables(unsigned count);
/* 0 on success, -1 for an unknown layout. */
VEXO_SIM_API int vexo_sim_set_layout(unsigned device, int layout);
/* The vehicle behind every cable, now and later: "none", "demo" or "busload:<fps>" ("max"
   for as fast as the host reads). 0 on success, -1 for an unknown name. */
VEXO_SIM_API int vexo_sim_set_vehicle(const char* name);
VEXO_SIM_API void vexo_sim_unplug(unsigned device);

/* Replaces the device's link with a scripted one that answers only what is pushed. */
VEXO_SIM_API void vexo_sim_use_scripted_link(unsigned device);
/* -1 unless vexo_sim_use_scripted_link was called for the device. */
VEXO_SIM_API int vexo_sim_push_read_bytes(unsigned device, const uint8_t* bytes, size_t count);

VEXO_SIM_API void vexo_sim_set_read_chunk(size_t count);
/* A negative limit removes it. */
VEXO_SIM_API void vexo_sim_set_write_limit(long long count);
VEXO_SIM_API void vexo_sim_fail_next_transfer(int libusb_error, size_t after_bytes);
VEXO_SIM_API void vexo_sim_fail_init(int libusb_error);
VEXO_SIM_API void vexo_sim_fail_claim_interface(int libusb_error);
VEXO_SIM_API void vexo_sim_fail_config_descriptor(int libusb_error);

/* Copies up to `capacity` written bytes into `out`; returns how many there are in all. */
VEXO_SIM_API size_t vexo_sim_written_bytes(uint8_t* out, size_t capacity);
/* The call record, one call per line, NUL-terminated within `capacity`; returns its full
   length without the NUL. */
VEXO_SIM_API size_t vexo_sim_calls(char* out, size_t capacity);
/* How many recorded calls begin with `prefix`. */
VEXO_SIM_API size_t vexo_sim_call_count(const char* prefix);

#ifdef __cplusplus
}
#endif
