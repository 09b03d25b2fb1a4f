// DllRegisterServer and DllUnregisterServer, for regsvr32: only the Windows DLL has them.
#include "core/self_registration.h"

extern "C" {

__declspec(dllexport) long __stdcall DllRegisterServer() { return vexo::register_server(); }
__declspec(dllexport) long __stdcall DllUnregisterServer() { return vexo::unregister_server(); }

}  // extern "C"
