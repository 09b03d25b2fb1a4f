/* The public header as C applications include it: its layout assertions hold for this target
   (32- or 64-bit, Windows or Linux) and layout in C as well as in C++. */
#include "vexo/j2534.h"

uint32_t vexo_header_check_message_size(void) { return (uint32_t)sizeof(PASSTHRU_MSG); }
