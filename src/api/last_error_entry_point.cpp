#include "api/entry_frame.h"
#include "api/entry_points.h"
#include "api/text_output.h"

namespace vexo::api {

std::uint32_t passthru_get_last_error(char* description) {
    if (description == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        // A broken LastError lock reads as an empty text, never as a failure.
        write_text_buffer(last_error::copy().value_or(std::string()), description);
        return STATUS_NOERROR;
    });
}

}  // namespace vexo::api
