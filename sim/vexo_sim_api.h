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
/* The vehicle behind every cable, now and later: "none", "demo" (or its bus variants
   "demo-250k", "demo-29bit", "demo-250k-29bit") or "busload:<fps>" ("max" for as fast as
   the host reads). 0 on success, -1 for an unknown name. */
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

/* The firmware model of device 0, the cable a J2534 library opens. Each returns -1 when
   device 0 is missing or is not a simulated cable, else 0 unless told otherwise.
   `letter` is the command letter ('o' for "ato"); `uses` 0 keeps a script until reset. */
VEXO_SIM_API int vexo_sim_cable_silence(char letter, unsigned uses);
/* The command is refused without effect, answered "are<text>\r\n". */
VEXO_SIM_API int vexo_sim_cable_reject(char letter, const char* text, unsigned uses);
/* Raw bytes on the IN endpoint: now, or just ahead of the answer to the next command. */
VEXO_SIM_API int vexo_sim_cable_inject(const uint8_t* bytes, size_t count);
VEXO_SIM_API int vexo_sim_cable_inject_before_next_reply(const uint8_t* bytes, size_t count);
VEXO_SIM_API int vexo_sim_cable_set_identity(const char* text);
VEXO_SIM_API int vexo_sim_cable_set_battery_mv(uint32_t millivolts);
VEXO_SIM_API int vexo_sim_cable_set_fast_init_response(const uint8_t* bytes, size_t count);
/* Non-zero: the channels' filters decide what reaches the host, as the standard's pass, block
   and flow-control rules say (a CAN channel without filters then passes nothing). 0, the
   default: every message on an open channel does. */
VEXO_SIM_API int vexo_sim_cable_set_filtering(int on);
/* A vehicle message received on an open channel, framed as the cable frames it. CAN channels
   (5, 6) take the CAN ID and data and stamp every frame with ts_us; K-line channels (3, 4)
   take the bytes alone. Returns 0 when the host will see it, 1 when the channel is not open,
   2 for the wrong kind of channel, 3 when filtered, 4 when the cable's buffer is full. */
VEXO_SIM_API int vexo_sim_cable_deliver_can(uint8_t channel, uint32_t can_id, const uint8_t* data, size_t count,
                                            uint32_t ts_us);
VEXO_SIM_API int vexo_sim_cable_deliver_kline(uint8_t channel, const uint8_t* data, size_t count);
/* The command lines the cable received, CR LF removed, each ended by LF; NUL-terminated
   within `capacity`. Returns the full length without the NUL (0 without a cable). */
VEXO_SIM_API size_t vexo_sim_cable_commands(char* out, size_t capacity);

#ifdef __cplusplus
}
#endif
