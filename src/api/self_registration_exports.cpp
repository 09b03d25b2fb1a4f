// DllRegisterServer and DllUnregisterServer, for regsvr32: only the Windows DLL has them.
#include "api/self_registration.h"

extern "C" {

__declspec(dllexport) long __stdcall DllRegisterServer() { return vexo::api::register_server(); }
__declspec(dllexport) long __stdcall DllUnregisterServer() { return vexo::api::unregister_server(); }

}  // extern "C"
